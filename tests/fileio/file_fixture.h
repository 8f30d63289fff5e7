// Shared set-up of the file tests: a scratch directory with its name in the library's notation, and the file
// table, host calls, current directory and environment left as they were after each test.
#pragma once

#include "vutil/fileio.h"

#include <gtest/gtest.h>

#include <sys/types.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <string_view>

#include "fileio/buffered_file.h"
#include "platform/codepage.h"
#include "platform/file.h"
#include "support/facts.h"
#include "support/host_facts.h"
#include "support/host_faults.h"
#include "support/temp_dir.h"

namespace vutil::test {

/// `size` bytes drawn from a generator seeded with `seed`.
inline std::string randomBytes(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char &byte : bytes) byte = static_cast<char>(random());
    return bytes;
}

/// The temporary name `step` counts after `first`: the counter, 8 hex digits after the prefix, goes up by one a step.
inline std::string temporaryNameAfter(const std::filesystem::path &first, int step) {
    const std::string file = first.filename().string();
    char digits[9];
    std::snprintf(digits, sizeof digits, "%08x",
                  static_cast<uint32_t>(std::stoul(file.substr(2, 8), nullptr, 16) + step));
    return "vu" + std::string(digits) + file.substr(10);
}

/// Replaces the host's `name` call with `function` until the end of the test (the calls of the host's own
/// file layer: see platform/file.h).
template <typename Function> void replaceCall(const char *name, Function function) {
    platform::setFileSystemCall(name, reinterpret_cast<platform::SystemCall>(function));
}

class FileTest : public ::testing::Test {
protected:
    void SetUp() override { root = host::driveFor(dir.path()); }
    void TearDown() override {
        for (int32_t handle = 1; handle <= KOR_MAX_FILES; ++handle) KorCloseFile(handle);
        fileio::failBufferAllocations(0);
        platform::setAnsiCodePage(1252);
        faults::restore();
        std::filesystem::current_path(saved);
        for (const char *name : {"VUTIL_DRIVE_C", "VUTIL_DRIVE_D", "ACAD", "VUTIL_TEST_PATH"}) unsetenv(name);
        savedTemporary ? setenv(host::kTemporaryVariable, savedTemporary->c_str(), 1) : unsetenv(host::kTemporaryVariable);
    }

    /// A path in the library's notation below the scratch directory: at("\\plan.dwg").
    std::string at(std::string_view rest) const { return root + std::string(rest); }

    /// Writes a file and opens it with `mode`; the handle (the test fails when it cannot open).
    int32_t openWith(std::string_view name, std::string_view bytes, uint32_t mode = KOR_OPEN_READ) {
        std::string path = dir.write(name, bytes);
        int32_t handle = 0;
        EXPECT_EQ(KorOpenFile(path.c_str(), &handle, mode), 1) << path;
        return handle;
    }

    /// The handle of `path` opened with `mode`, else 0.
    static int32_t tryOpen(const std::string &path, uint32_t mode) {
        int32_t handle = 99;
        return KorOpenFile(path.c_str(), &handle, mode) == 1 ? handle : 0;
    }

    std::string contents(std::string_view name) const { return TempDir::read(dir.file(name)); }

    TempDir dir;
    std::string root;  ///< the scratch directory's name in the library's notation (see host::driveFor)
    std::filesystem::path saved = std::filesystem::current_path();
    std::optional<std::string> savedTemporary = std::getenv(host::kTemporaryVariable) != nullptr
                                                    ? std::optional<std::string>(std::getenv(host::kTemporaryVariable))
                                                    : std::nullopt;
};

}  // namespace vutil::test
