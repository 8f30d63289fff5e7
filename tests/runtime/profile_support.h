// Shared pieces of the settings-file tests.
#pragma once

#include <atomic>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "platform/profile.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"
#include "vutil/runtime.h"

namespace vutil::test {

inline std::string read(const char *section, const char *key, const std::string &file, const char *def = "<absent>") {
    char buffer[256];
    return std::string(buffer, static_cast<std::size_t>(KorGetPrivateProfileString(section, key, def, buffer, sizeof buffer, file.c_str())));
}

inline std::string sourceData(const char *name) { return TempDir::read(std::string(VUTIL_RUNTIME_TEST_DATA "/profile/") + name); }

/// The name of writer `writer`'s key `i`.
inline std::string keyName(int writer, int i) { return std::string("w").append(std::to_string(writer)).append("k").append(std::to_string(i)); }

/// Writes the writer's 16 keys, alternately into two sections; the number of writes that failed.
inline int writeKeys(const std::string &file, int writer) {
    int failed = 0;
    for (int i = 0; i < 16; ++i) failed += KorWritePrivateProfileString(i % 2 ? "odd" : "even", keyName(writer, i).c_str(), "x", file.c_str()) != 1;
    return failed;
}

inline std::set<std::string> keysIn(const std::string &file) {
    std::set<std::string> keys;
    for (const char *section : {"even", "odd"}) {
        std::vector<char> list(1 << 16);
        KorGetPrivateProfileString(section, nullptr, nullptr, list.data(), static_cast<int32_t>(list.size()), file.c_str());
        for (const char *name = list.data(); *name != '\0'; name += std::strlen(name) + 1) keys.insert(name);
    }
    return keys;
}

inline std::set<std::string> allKeys(int writers) {
    std::set<std::string> keys;
    for (int i = 0; i < 16 * writers; ++i) keys.insert(keyName(i / 16, i % 16));
    return keys;
}

/// Fails the step it is armed for, once `written` reaches `at`, or kills the writer there.
inline vutil::platform::ProfileStep failStep;
inline std::size_t failAt = 0;
inline bool killInstead = false;
bool failingHook(vutil::platform::ProfileStep step, std::size_t written);
/// Ends this process at once, as a writer killed in the middle of its work.
[[noreturn]] void killThisWriter();

/// The names in a directory.
inline std::set<std::string> namesIn(const std::filesystem::path &directory) {
    std::set<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(directory)) names.insert(entry.path().filename().string());
    return names;
}

}  // namespace vutil::test
