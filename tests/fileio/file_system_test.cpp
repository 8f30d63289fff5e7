// Tests of the file-system operations: kinds, sizes, status, deletion, directories, temporary names, appending.
#include "fileio/file_system.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "file_fixture.h"
#include "platform/file.h"
#include "vutil/fileio.h"

namespace vutil::test {
namespace {

namespace fs = std::filesystem;

using FileSystem = FileTest;

TEST_F(FileSystem, KindsSizesAndStatus) {
    dir.write("plan.dwg", "12345");
    fs::create_directory(dir.path() / "sub");
    const struct { const char *path; int32_t kind, size; } cases[] = {
        {"D:", KOR_KIND_DIRECTORY, -1},   {"C:\\plan.dwg", KOR_KIND_FILE, 5},  {"C:/plan.dwg", KOR_KIND_FILE, 5},
        {"C:\\sub\\", KOR_KIND_DIRECTORY, -1}, {"C:\\", KOR_KIND_DIRECTORY, -1}, {"C:\\none", KOR_KIND_NONE, -1},
        {"C:\\plan.dwg\\x", KOR_KIND_NONE, -1}, {"", KOR_KIND_NONE, -1},        {"D:x", KOR_KIND_NONE, -1}};
    for (const auto &c : cases) {
        EXPECT_EQ(direct_f(c.path), c.kind) << c.path;
        EXPECT_EQ(KorFileSize(c.path), c.size) << c.path;
    }
    EXPECT_EQ(direct_f(nullptr), KOR_KIND_NONE);

    ASSERT_EQ(::chmod(dir.file("plan.dwg").c_str(), 0640), 0);
    kor_stat status;
    auto stat = [&](const std::string &path) {
        status = {};
        EXPECT_EQ(KorStat(path.c_str(), &status), 0) << path;
        return status;
    };
    struct stat host {};
    ASSERT_EQ(::stat(dir.file("plan.dwg").c_str(), &host), 0);
    EXPECT_EQ(stat("C:\\plan.dwg").st_mode, KOR_S_IFREG | 0640);
    EXPECT_EQ(status.st_size, 5);
    expectFacts({FACT(status.st_dev, 2), FACT(status.st_rdev, 2)});  // drive C:
    expectFacts({FACT(status.st_mtime32, static_cast<int32_t>(host.st_mtime)),
                 FACT(status.st_ctime32, static_cast<int32_t>(host.st_ctime))});
    EXPECT_EQ(stat("C:\\sub").st_mode & 0xF000u, KOR_S_IFDIR);
    setenv("VUTIL_DRIVE_D", (dir.path() / "sub").c_str(), 1);
    EXPECT_EQ(stat("d:").st_dev, 3u) << "a bare drive";
    fs::current_path(dir.path() / "sub");
    EXPECT_EQ(stat("..\\plan.dwg").st_dev, 3u) << "the drive of the current directory";
    expectFacts({FACT(KorStat("C:\\none", &status), -1), FACT(KorStat("C:\\plan.dwg", nullptr), -1)});
    // Outside every drive counts as C:; times beyond 32 bits saturate.
    fs::current_path(saved);
    struct timespec times[2] = {{-5000000000LL, 0}, {5000000000LL, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, dir.file("plan.dwg").c_str(), times, 0), 0);
    EXPECT_EQ(stat(dir.file("plan.dwg")).st_dev, 2u);
    expectFacts({FACT(status.st_atime32, INT32_MIN), FACT(status.st_mtime32, INT32_MAX)});
}

TEST_F(FileSystem, UnlinkChangeDirectoryAndMakeDir) {
    dir.write("Mixed.Case", "x");
    dir.write("file", "x");
    fs::create_directories(dir.path() / "dwg" / "sub");
    fs::create_directory(dir.path() / "a");
    const fs::path root = fs::canonical(dir.path());
    EXPECT_EQ(KorUnlink("C:\\MIXED.CASE"), 1) << "names are found without regard to case";
    EXPECT_FALSE(fs::exists(dir.path() / "Mixed.Case"));
    expectFacts({FACT(KorUnlink("C:\\Mixed.Case"), 0), FACT(KorUnlink("C:\\dwg"), 0), FACT(KorUnlink(""), 0), FACT(KorUnlink(nullptr), 0)});
    EXPECT_TRUE(fs::is_directory(dir.path() / "dwg"));
    // A trailing slash goes like a backslash; a file or a missing directory changes nothing.
    const struct {
        const char *path;
        int32_t result;
        fs::path now;
    } moves[] = {{"C:/dwg/sub/", 0, root / "dwg" / "sub"}, {"C:\\", 0, root},         {"dwg", 0, root / "dwg"},
                 {"C:\\file\\", 1, root / "dwg"}};
    for (const auto &move : moves) {
        EXPECT_EQ(ChangeDirectory(move.path), move.result) << move.path;
        EXPECT_EQ(fs::current_path(), move.now) << move.path;
    }
    expectFacts({FACT(ChangeDirectory("C:\\missing\\"), 0), FACT(ChangeDirectory(""), 0), FACT(ChangeDirectory(nullptr), 0)});
    EXPECT_EQ(ChangeDirectory("D:"), -1) << "a bare drive counts as a directory; unmapped, the host refuses";
    EXPECT_EQ(fs::current_path(), root / "dwg");
    // Trailing separators of either kind, and mixed ones, end the walk at the drive; a relative path stops at
    // its first component.
    fs::current_path(dir.path());
    for (const char *path : {"C:\\a\\b\\c", "C:/x/y/", "C:\\p/q\\\\r", "C:\\", "rel\\one"})
        EXPECT_EQ(KORmakedir(path), 1) << path;
    for (const char *made : {"a/b/c", "x/y", "p/q/r", "rel/one"})
        EXPECT_TRUE(fs::is_directory(dir.path() / made)) << made;
    expectFacts({FACT(KORmakedir("C:\\file\\sub"), 0), FACT(KORmakedir("C:\\file"), 0), FACT(KORmakedir(""), 0), FACT(KORmakedir(nullptr), 0)});
    // Longer than any host path: refused at once instead of walked.
    std::string deep = "C:";
    for (int i = 0; i < 3000; ++i) deep += "\\d";
    EXPECT_EQ(KORmakedir(deep.c_str()), 0);
    EXPECT_EQ(direct_f("C:\\d"), KOR_KIND_NONE);
}

TEST_F(FileSystem, TemporaryNamesAreFreshNamesInTheTemporaryDirectory) {
    setenv("TMPDIR", (dir.path().string() + "//").c_str(), 1);
    char names[3][KOR_MAX_PATH];
    ASSERT_EQ(KorMakeTmpName(names[0]) + KorMakeTmpName(names[1]), 2);
    // The counter (8 hex digits after the prefix) goes up by one; names something has, in any case, are passed over.
    auto named = [&](int step) {
        std::string file = fs::path(names[0]).filename().string();
        char digits[9];
        std::snprintf(digits, sizeof digits, "%08x",
                      static_cast<uint32_t>(std::stoul(file.substr(2, 8), nullptr, 16) + step));
        return dir.path() / ("vu" + std::string(digits) + file.substr(10));
    };
    EXPECT_EQ(fs::path(names[1]), named(1));
    EXPECT_FALSE(fs::exists(names[1])) << "the name only is made";
    dir.write(named(2).string(), "");
    std::string upper = named(3).filename().string();
    std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
    ASSERT_EQ(::symlink("nowhere", (dir.path() / upper).c_str()), 0) << "even a dangling link takes a name";
    ASSERT_EQ(KorMakeTmpName(names[2]), 1);
    EXPECT_EQ(fs::path(names[2]), named(4));
    EXPECT_EQ(KorMakeTmpName(nullptr), 0);

    // A name has 23 characters after the directory at most: 236 characters of
    // directory fit a path buffer, 237 do not; unusable directories give /tmp.
    const std::size_t room = 236 - dir.path().string().size() - 1;
    const fs::path fits = dir.path() / std::string(room, 't'), tooLong = dir.path() / std::string(room + 1, 't');
    for (const fs::path &directory : {fits, tooLong}) fs::create_directory(directory);
    for (const fs::path &directory : {fits, tooLong, fs::path("relative"), fs::path(dir.write("plain", ""))}) {
        setenv("TMPDIR", directory.c_str(), 1);
        ASSERT_EQ(KorMakeTmpName(names[0]), 1);
        EXPECT_EQ(fs::path(names[0]).parent_path(), directory == fits ? fits : fs::path("/tmp")) << directory;
    }
}

TEST_F(FileSystem, AppendCopiesWholeFiles) {
    for (const char *directory : {"out", "in"}) fs::create_directory(dir.path() / directory);
    dir.write("in/plan.dwg", "drawing");
    expectFacts({FACT(KorAppendFile("C:\\out", "C:\\in\\plan.dwg"), 1), FACT(KorAppendFile("C:/out/", "C:/in/plan.dwg"), 1)});
    EXPECT_EQ(contents("out/plan.dwg"), "drawingdrawing") << "into a directory: the source's name";
    struct stat status {};
    ASSERT_EQ(::stat(dir.file("out/plan.dwg").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0600, 0600u) << "created readable and writable";
    // Nothing to read creates nothing; a destination that cannot be made fails; a source that is no
    // regular file is read to its end.
    const char *const dest = "C:\\dest";
    expectFacts({FACT(KorAppendFile(dest, "C:\\missing"), 1), FACT(KorAppendFile(dest, "C:\\in"), 1), FACT(KorAppendFile(dest, nullptr), 1)});
    EXPECT_FALSE(fs::exists(dir.path() / "dest"));
    expectFacts({FACT(KorAppendFile(nullptr, "C:\\in\\plan.dwg"), 0), FACT(KorAppendFile("C:\\no\\dest", "C:\\in\\plan.dwg"), 0)});
    EXPECT_EQ(KorAppendFile("C:\\dest", "/dev/null"), 1);
    // The copy goes in chunks of 64 KiB: sizes one past a chunk, and a file appended to
    // itself (copied as large as it was when the copy began).
    for (std::size_t size : {std::size_t{1}, std::size_t{65537}, std::size_t{131073}}) {
        const std::string bytes = randomBytes(size, 7);
        dir.write("big", bytes);
        dir.write("dest", "head");
        expectFacts({FACT(KorAppendFile("C:\\dest", "C:\\big"), 1), FACT(KorAppendFile("C:\\big", "C:\\big"), 1)});
        EXPECT_TRUE(contents("dest") == "head" + bytes) << size;
        EXPECT_TRUE(contents("big") == bytes + bytes) << size;
    }
    // A file held exclusively can be neither appended to nor read.
    const int32_t handle = openWith("dest", contents("dest"), KOR_OPEN_WRITE);
    EXPECT_EQ(KorAppendFile("C:\\dest", "C:\\in\\plan.dwg"), 0);
    EXPECT_EQ(KorAppendFile("C:\\other", "C:\\dest"), 1);
    EXPECT_FALSE(fs::exists(dir.path() / "other"));
    KorCloseFile(handle);
    // A full disk, and a read error in the middle.
    faults::fullDisk();
    EXPECT_EQ(KorAppendFile("C:\\full", "C:\\big"), 0);
    faults::restore();
    faults::failReads(1);
    EXPECT_EQ(KorAppendFile("C:\\broken", "C:\\big"), 0);
    EXPECT_EQ(contents("broken"), contents("big").substr(0, 65536));
}

}  // namespace
}  // namespace vutil::test
