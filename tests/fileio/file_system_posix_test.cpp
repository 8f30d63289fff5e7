// Tests of the file-system operations on POSIX hosts: drives mapped to directories, times beyond 32 bits,
// symbolic links and unusable temporary directories.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "file_fixture.h"
#include "vutil/fileio.h"

namespace vutil::test {
namespace {

namespace fs = std::filesystem;

using FileSystemOnPosix = FileTest;

TEST_F(FileSystemOnPosix, DriveNumbersComeFromTheMappedDirectories) {
    dir.write("plan.dwg", "12345");
    fs::create_directory(dir.path() / "sub");
    kor_stat status{};
    setenv("VUTIL_DRIVE_D", (dir.path() / "sub").c_str(), 1);
    fs::current_path(dir.path() / "sub");
    ASSERT_EQ(KorStat("..\\plan.dwg", &status), 0);
    EXPECT_EQ(status.st_dev, 3u) << "the longest mapped directory that holds the current one: D:";
    // Outside every drive counts as C:; times beyond 32 bits saturate.
    fs::current_path(saved);
    struct timespec times[2] = {{-5000000000LL, 0}, {5000000000LL, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, dir.file("plan.dwg").c_str(), times, 0), 0);
    ASSERT_EQ(KorStat(dir.file("plan.dwg").c_str(), &status), 0);
    expectFacts({FACT(status.st_dev, 2), FACT(status.st_atime32, INT32_MIN), FACT(status.st_mtime32, INT32_MAX)});
}

TEST_F(FileSystemOnPosix, TheCurrentDirectoryOutsideEveryDriveKeepsTheHostsForm) {
    fs::create_directories(dir.path() / "work");
    fs::current_path(dir.path() / "work");
    EXPECT_STREQ(KOR_GetNormalizedFName("..\\x"), "C:\\x");
    unsetenv("VUTIL_DRIVE_C");
    std::string host = fs::current_path().string();
    std::replace(host.begin(), host.end(), '/', '\\');
    EXPECT_EQ(std::string(KOR_GetNormalizedFName("..\\x")), host.substr(0, host.rfind('\\')) + "\\x");
    KOR_GetNormalizedFName("");
}

TEST_F(FileSystemOnPosix, TemporaryNamesPassOverLinksAndUnusableDirectories) {
    setenv("TMPDIR", dir.path().c_str(), 1);
    char first[KOR_MAX_PATH], next[KOR_MAX_PATH];
    ASSERT_EQ(KorMakeTmpName(first), 1);
    // A dangling link with the next name takes it.
    const std::string taken = temporaryNameAfter(first, 1);
    ASSERT_EQ(::symlink("nowhere", (dir.path() / taken).c_str()), 0);
    ASSERT_EQ(KorMakeTmpName(next), 1);
    EXPECT_NE(fs::path(next).filename().string(), taken) << "even a dangling link takes a name";
    EXPECT_EQ(fs::path(next).parent_path(), dir.path());
    // A relative directory, and a file, are no temporary directory.
    for (const fs::path &directory : {fs::path("relative"), fs::path(dir.write("plain", ""))}) {
        setenv("TMPDIR", directory.c_str(), 1);
        ASSERT_EQ(KorMakeTmpName(next), 1);
        EXPECT_EQ(fs::path(next).parent_path(), fs::path("/tmp")) << directory;
    }
}

}  // namespace
}  // namespace vutil::test
