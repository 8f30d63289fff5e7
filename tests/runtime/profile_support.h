// Shared pieces of the settings-file tests.
#pragma once

#include <atomic>
#include <cstring>
#include <filesystem>
#include <initializer_list>
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

/// Writers stopped at each of `cases` (by `stop`, which runs one and says whether it stopped as it should) leave a
/// file of a thousand keys whole, and a failed one nothing beside it; the next writer then finds the file and its
/// lock as they should be, and leaves nothing beside it either.
template <typename Stop>
void expectStoppedWritersLeaveTheOldFile(std::initializer_list<std::pair<platform::ProfileStep, std::size_t>> cases,
                                         bool kill, Stop stop) {
    TempDir dir;
    std::string old = "; many keys\n[s]\n";
    for (int i = 0; i < 1000; ++i) old += "key" + std::to_string(i) + "=value " + std::to_string(i * 7) + "\n";
    const std::string file = dir.write("s.ini", old);
    for (const auto &[step, at] : cases) {
        failStep = step, failAt = at, killInstead = kill;
        platform::setProfileStepHook(failingHook);
        EXPECT_TRUE(stop(file)) << at;
        platform::setProfileStepHook(nullptr);
        EXPECT_TRUE(TempDir::read(file) == old && (kill || namesIn(dir.path()) == std::set<std::string>{"s.ini"}))
            << "the new file is removed " << at;
    }
    EXPECT_TRUE(KorWritePrivateProfileString("s", "key5", "new", file.c_str()) == 1 &&
                read("s", "key5", file) == "new" && read("s", "key999", file) == "value 6993");
    EXPECT_EQ(namesIn(dir.path()), std::set<std::string>{"s.ini"}) << "nothing else beside the file";
}

}  // namespace vutil::test
