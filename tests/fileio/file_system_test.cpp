// Tests of the file-system operations: kinds, sizes, status, deletion, directories, temporary names, appending.
#include "fileio/file_system.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>

#include "fileio/file_names.h"
#include "platform/file.h"
#include "support/temp_dir.h"
#include "vutil/fileio.h"

namespace vutil::test {
namespace {

namespace fs = std::filesystem;

/// The scratch directory as drive C:, the current directory restored afterwards.
class FileSystem : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("VUTIL_DRIVE_C", dir.path().c_str(), 1);
        saved = fs::current_path();
    }
    void TearDown() override {
        fs::current_path(saved);
        unsetenv("VUTIL_DRIVE_C");
        unsetenv("TMPDIR");
        for (const char *name : {"read", "write"}) {
            platform::setFileSystemCall(name, nullptr);
        }
    }
    TempDir dir;
    fs::path saved;
};

TEST_F(FileSystem, KindsOfPaths) {
    dir.write("plan.dwg", "x");
    fs::create_directory(dir.path() / "sub");
    struct Case {
        const char *path;
        int32_t kind;
    };
    const Case cases[] = {
        {"D:", KOR_KIND_DIRECTORY},
        {"q:", KOR_KIND_DIRECTORY},
        {"C:\\plan.dwg", KOR_KIND_FILE},
        {"C:/plan.dwg", KOR_KIND_FILE},
        {"C:\\sub", KOR_KIND_DIRECTORY},
        {"C:\\sub\\", KOR_KIND_DIRECTORY},
        {"C:\\", KOR_KIND_DIRECTORY},
        {"C:\\none", KOR_KIND_NONE},
        {"C:\\plan.dwg\\x", KOR_KIND_NONE},
        {"", KOR_KIND_NONE},
        {"D:x", KOR_KIND_NONE},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(direct_f(c.path), c.kind) << c.path;
    }
    EXPECT_EQ(direct_f(nullptr), KOR_KIND_NONE);
}

TEST_F(FileSystem, SizesAndStatus) {
    dir.write("empty", "");
    dir.write("five", "12345");
    fs::create_directory(dir.path() / "sub");
    EXPECT_EQ(KorFileSize("C:\\empty"), 0);
    EXPECT_EQ(KorFileSize("C:\\five"), 5);
    EXPECT_EQ(KorFileSize("C:\\sub"), -1);
    EXPECT_EQ(KorFileSize("C:\\none"), -1);

    ASSERT_EQ(::chmod(dir.file("five").c_str(), 0640), 0);
    kor_stat status;
    std::memset(&status, 0x55, sizeof status);
    ASSERT_EQ(KorStat("C:\\five", &status), 0);
    EXPECT_EQ(status.st_mode, KOR_S_IFREG | 0640);
    EXPECT_EQ(status.st_size, 5);
    EXPECT_EQ(status.st_dev, 2u) << "drive C:";
    EXPECT_EQ(status.st_rdev, 2u);
    EXPECT_EQ(status.st_nlink, 1);
    EXPECT_EQ(status.st_ino, 0);
    struct stat host {};
    ASSERT_EQ(::stat(dir.file("five").c_str(), &host), 0);
    EXPECT_EQ(status.st_mtime32, static_cast<int32_t>(host.st_mtime));
    EXPECT_EQ(status.st_atime32, static_cast<int32_t>(host.st_atime));
    EXPECT_EQ(status.st_ctime32, static_cast<int32_t>(host.st_ctime));

    ASSERT_EQ(KorStat("C:\\sub", &status), 0);
    EXPECT_EQ(status.st_mode & 0xF000u, KOR_S_IFDIR);
    setenv("VUTIL_DRIVE_E", dir.path().c_str(), 1);
    ASSERT_EQ(KorStat("e:\\sub", &status), 0);
    EXPECT_EQ(status.st_dev, 4u) << "drive E:";
    ASSERT_EQ(KorStat("e:", &status), 0);
    EXPECT_EQ(status.st_dev, 4u) << "a bare drive";
    setenv("VUTIL_DRIVE_D", (dir.path() / "sub").c_str(), 1);
    fs::current_path(dir.path() / "sub");
    ASSERT_EQ(KorStat("..\\five", &status), 0);
    EXPECT_EQ(status.st_dev, 3u) << "the drive of the current directory";
    unsetenv("VUTIL_DRIVE_D");
    unsetenv("VUTIL_DRIVE_E");
    unsetenv("VUTIL_DRIVE_C");
    ASSERT_EQ(KorStat(dir.file("five").c_str(), &status), 0);
    EXPECT_EQ(status.st_dev, 2u) << "outside every drive: C:";
    EXPECT_EQ(KorStat("C:\\none", &status), -1);
    EXPECT_EQ(KorStat("C:\\five", nullptr), -1);
}

TEST_F(FileSystem, StatusTimesSaturate) {
    std::string path = dir.write("old", "");
    struct timespec times[2] = {{-5000000000LL, 0}, {5000000000LL, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    kor_stat status;
    ASSERT_EQ(KorStat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_atime32, INT32_MIN);
    EXPECT_EQ(status.st_mtime32, INT32_MAX);
}

TEST_F(FileSystem, UnlinkDeletesFilesOnly) {
    dir.write("a.tmp", "x");
    fs::create_directory(dir.path() / "sub");
    EXPECT_EQ(KorUnlink("C:\\a.tmp"), 1);
    EXPECT_FALSE(fs::exists(dir.path() / "a.tmp"));
    EXPECT_EQ(KorUnlink("C:\\a.tmp"), 0) << "already gone";
    EXPECT_EQ(KorUnlink("C:\\sub"), 0);
    EXPECT_TRUE(fs::is_directory(dir.path() / "sub"));
    EXPECT_EQ(KorUnlink(""), 0);
    EXPECT_EQ(KorUnlink(nullptr), 0);
    dir.write("Mixed.Case", "x");
    EXPECT_EQ(KorUnlink("C:\\MIXED.CASE"), 1) << "names are found without regard to case";
    EXPECT_FALSE(fs::exists(dir.path() / "Mixed.Case"));
}

TEST_F(FileSystem, ChangeDirectoryTakesDirectoriesOnly) {
    fs::create_directories(dir.path() / "dwg" / "sub");
    dir.write("file", "x");
    auto here = [] { return fs::current_path(); };
    const fs::path root = fs::canonical(dir.path());

    EXPECT_EQ(ChangeDirectory("C:\\dwg\\"), 0);
    EXPECT_EQ(here(), root / "dwg");
    EXPECT_EQ(ChangeDirectory("C:/dwg/sub/"), 0) << "a trailing slash goes like a backslash";
    EXPECT_EQ(here(), root / "dwg" / "sub");
    EXPECT_EQ(ChangeDirectory("C:\\"), 0);
    EXPECT_EQ(here(), root);
    EXPECT_EQ(ChangeDirectory("dwg"), 0) << "relative to the current directory";
    EXPECT_EQ(here(), root / "dwg");
    EXPECT_EQ(ChangeDirectory("C:\\file"), 1) << "a file changes nothing";
    EXPECT_EQ(ChangeDirectory("C:\\file\\"), 1) << "nor with a trailing separator";
    EXPECT_EQ(ChangeDirectory("C:\\missing\\"), 0);
    EXPECT_EQ(ChangeDirectory(""), 0);
    EXPECT_EQ(ChangeDirectory(nullptr), 0);
    EXPECT_EQ(here(), root / "dwg");
    EXPECT_EQ(ChangeDirectory("D:"), -1) << "a bare drive counts as a directory; unmapped, the host refuses";
    EXPECT_EQ(here(), root / "dwg");
}

TEST_F(FileSystem, MakeDirCreatesMissingParents) {
    fs::create_directory(dir.path() / "a");
    // Trailing separators of either kind, and mixed ones, end the walk at the drive.
    for (const char *path : {"C:\\a\\b\\c", "C:\\a\\b\\c", "C:/x/y/", "C:\\p/q\\\\r", "C:", "C:\\"}) {
        EXPECT_EQ(KORmakedir(path), 1) << path;
    }
    for (const char *made : {"a/b/c", "x/y", "p/q/r"}) {
        EXPECT_TRUE(fs::is_directory(dir.path() / made)) << made;
    }
    fs::current_path(dir.path());
    EXPECT_EQ(KORmakedir("rel\\one"), 1) << "a relative path stops at its first component";
    EXPECT_TRUE(fs::is_directory(dir.path() / "rel" / "one"));
    dir.write("file", "x");
    for (const char *refused : {"C:\\file\\sub", "C:\\file", "", static_cast<const char *>(nullptr)}) {
        EXPECT_EQ(KORmakedir(refused), 0) << (refused ? refused : "null");
    }
    std::string deep = "C:";
    for (int i = 0; i < 100; ++i) {
        deep += "\\d";
    }
    EXPECT_EQ(KORmakedir(deep.c_str()), 1);
    EXPECT_EQ(direct_f(deep.c_str()), KOR_KIND_DIRECTORY);
    // Longer than any host path: refused at once instead of walked.
    for (int i = 0; i < 3000; ++i) {
        deep += "\\e";
    }
    EXPECT_EQ(KORmakedir(deep.c_str()), 0);
    EXPECT_EQ(direct_f(deep.substr(0, 204).c_str()), KOR_KIND_NONE);
}

/// The counter in a temporary name made by the library (8 hex digits after the prefix).
uint32_t counterOf(const std::string &name) {
    std::string file = fs::path(name).filename().string();
    return static_cast<uint32_t>(std::stoul(file.substr(2, 8), nullptr, 16));
}

std::string withCounter(const std::string &name, uint32_t counter) {
    std::string file = fs::path(name).filename().string();
    char digits[9];
    std::snprintf(digits, sizeof digits, "%08x", counter);
    return (fs::path(name).parent_path() / (file.substr(0, 2) + digits + file.substr(10))).string();
}

TEST_F(FileSystem, TemporaryNamesAreFreshNamesInTheTemporaryDirectory) {
    setenv("TMPDIR", (dir.path().string() + "//").c_str(), 1);
    char first[KOR_MAX_PATH];
    char second[KOR_MAX_PATH];
    ASSERT_EQ(KorMakeTmpName(first), 1);
    ASSERT_EQ(KorMakeTmpName(second), 1);
    EXPECT_NE(std::string(first), std::string(second));
    for (const char *name : {first, second}) {
        fs::path path(name);
        EXPECT_EQ(path.parent_path(), dir.path()) << name;
        EXPECT_EQ(path.filename().string().substr(0, 2), "vu") << name;
        EXPECT_FALSE(fs::exists(path)) << "the name only is made";
    }
    EXPECT_EQ(counterOf(second), counterOf(first) + 1);

    // Names that something already has, in any case, are passed over.
    std::string taken = withCounter(second, counterOf(second) + 1);
    std::string takenUpper = withCounter(second, counterOf(second) + 2);
    {
        std::FILE *f = std::fopen(taken.c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fclose(f);
    }
    std::string upper = fs::path(takenUpper).filename().string();
    for (char &c : upper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    ASSERT_EQ(::symlink("nowhere", (dir.path() / upper).c_str()), 0) << "even a dangling link takes a name";
    char third[KOR_MAX_PATH];
    ASSERT_EQ(KorMakeTmpName(third), 1);
    EXPECT_EQ(std::string(third), withCounter(second, counterOf(second) + 3));
    EXPECT_EQ(KorMakeTmpName(nullptr), 0);
}

TEST_F(FileSystem, TemporaryDirectoryFallsBackToTmp) {
    // A name has 23 characters after the directory at most: 236 characters of
    // directory fit a path buffer, 237 do not.
    const std::size_t room = 236 - dir.path().string().size() - 1;
    for (std::size_t length : {room, room + 1}) {
        fs::path directory = dir.path() / std::string(length, 't');
        fs::create_directory(directory);
        setenv("TMPDIR", directory.c_str(), 1);
        char name[KOR_MAX_PATH];
        ASSERT_EQ(KorMakeTmpName(name), 1);
        EXPECT_EQ(fs::path(name).parent_path(), length == room ? directory : fs::path("/tmp")) << length;
    }
    dir.write("plain", "");
    const std::string longDirectory = (dir.path() / std::string(250, 'l')).string();
    fs::create_directory(longDirectory);
    for (const std::string &variable :
         {std::string("relative/dir"), dir.file("plain"), dir.file("missing"), longDirectory, std::string()}) {
        setenv("TMPDIR", variable.c_str(), 1);
        char name[KOR_MAX_PATH];
        ASSERT_EQ(KorMakeTmpName(name), 1);
        EXPECT_EQ(fs::path(name).parent_path(), "/tmp") << variable;
    }
    setenv("TMPDIR", "//", 1);
    char name[KOR_MAX_PATH];
    ASSERT_EQ(KorMakeTmpName(name), 1);
    EXPECT_EQ(std::string(name).rfind("/vu", 0), 0u) << "the root is a directory too: " << name;
}

TEST_F(FileSystem, AppendIntoADirectoryUsesTheSourceName) {
    fs::create_directories(dir.path() / "out");
    fs::create_directories(dir.path() / "in");
    dir.write("in/plan.dwg", "drawing");
    EXPECT_EQ(KorAppendFile("C:\\out", "C:\\in\\plan.dwg"), 1);
    EXPECT_EQ(TempDir::read(dir.file("out/plan.dwg")), "drawing");
    EXPECT_EQ(KorAppendFile("C:\\out\\", "C:\\in\\plan.dwg"), 1);
    EXPECT_EQ(KorAppendFile("C:/out/", "C:/in/plan.dwg"), 1);
    EXPECT_EQ(TempDir::read(dir.file("out/plan.dwg")), "drawingdrawingdrawing");
    EXPECT_EQ(KorAppendFile("C:\\out\\copy", "C:\\in\\plan.dwg"), 1);
    EXPECT_EQ(KorAppendFile("C:\\out\\copy", "C:\\in\\plan.dwg"), 1);
    EXPECT_EQ(TempDir::read(dir.file("out/copy")), "drawingdrawing");
    struct stat status {};
    ASSERT_EQ(::stat(dir.file("out/copy").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0600, 0600u) << "created readable and writable";
}

TEST_F(FileSystem, AppendOfAMissingSourceCreatesNothing) {
    EXPECT_EQ(KorAppendFile("C:\\dest", "C:\\missing"), 1);
    EXPECT_FALSE(fs::exists(dir.path() / "dest"));
    fs::create_directory(dir.path() / "sub");
    EXPECT_EQ(KorAppendFile("C:\\dest", "C:\\sub"), 1) << "a directory is not read";
    EXPECT_FALSE(fs::exists(dir.path() / "dest"));
    EXPECT_EQ(KorAppendFile("C:\\dest", nullptr), 1);
    dir.write("src", "x");
    EXPECT_EQ(KorAppendFile(nullptr, "C:\\src"), 0);
    EXPECT_EQ(KorAppendFile("C:\\no\\such\\dir\\dest", "C:\\src"), 0) << "the destination cannot be created";
}

// The copy goes in chunks of 64 KiB: sizes one past a chunk, a single byte, and a file appended to itself
// (copied as large as it was when the copy began).
TEST_F(FileSystem, AppendCopiesWholeFiles) {
    std::mt19937 random(7);
    for (std::size_t size : {std::size_t{1}, std::size_t{65537}, std::size_t{131073}, std::size_t{150000}}) {
        std::string bytes(size, '\0');
        for (char &c : bytes) {
            c = static_cast<char>(random());
        }
        dir.write("big", bytes);
        dir.write("dest", "head");
        EXPECT_EQ(KorAppendFile("C:\\dest", "C:\\big"), 1);
        EXPECT_TRUE(TempDir::read(dir.file("dest")) == "head" + bytes) << size;
        EXPECT_EQ(KorAppendFile("C:\\big", "C:\\big"), 1);
        EXPECT_TRUE(TempDir::read(dir.file("big")) == bytes + bytes) << size;
    }
}

TEST_F(FileSystem, AppendRespectsExclusiveOpens) {
    dir.write("src", "abc");
    dir.write("held", "");
    int32_t handle = 0;
    ASSERT_EQ(KorOpenFile(dir.file("held").c_str(), &handle, KOR_OPEN_WRITE), 1);
    EXPECT_EQ(KorAppendFile("C:\\held", "C:\\src"), 0);
    EXPECT_EQ(KorAppendFile("C:\\other", "C:\\held"), 1) << "a source held exclusively cannot be read";
    EXPECT_FALSE(fs::exists(dir.path() / "other"));
    KorCloseFile(handle);
    EXPECT_EQ(KorAppendFile("C:\\held", "C:\\src"), 1);
    EXPECT_EQ(TempDir::read(dir.file("held")), "abc");
}

ssize_t failingWrite(int, const void *, size_t) {
    errno = ENOSPC;
    return -1;
}

int readCalls = 0;
ssize_t failingSecondRead(int fd, void *buffer, size_t count) {
    if (++readCalls == 2) {
        errno = EIO;
        return -1;
    }
    return ::read(fd, buffer, count);
}

TEST_F(FileSystem, AppendReportsAFailedCopy) {
    dir.write("src", std::string(100000, 'z'));
    platform::setFileSystemCall("write", reinterpret_cast<platform::SystemCall>(&failingWrite));
    EXPECT_EQ(KorAppendFile("C:\\full", "C:\\src"), 0) << "a disk that is full";
    platform::setFileSystemCall("write", nullptr);
    readCalls = 0;
    platform::setFileSystemCall("read", reinterpret_cast<platform::SystemCall>(&failingSecondRead));
    EXPECT_EQ(KorAppendFile("C:\\broken", "C:\\src"), 0) << "a read error in the middle";
    platform::setFileSystemCall("read", nullptr);
    EXPECT_EQ(TempDir::read(dir.file("broken")), std::string(65536, 'z'));
}

}  // namespace
}  // namespace vutil::test
