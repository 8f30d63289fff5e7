// Tests of the file-system operations on every host: kinds, sizes, status, deletion, directories, temporary names,
// appending. Paths name a scratch directory in the library's notation (see host::driveFor).

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "file_fixture.h"
#include "vutil/fileio.h"

namespace vutil::test {
namespace {

namespace fs = std::filesystem;

using FileSystem = FileTest;

TEST_F(FileSystem, KindsSizesAndStatus) {
    dir.write("plan.dwg", "12345");
    fs::create_directory(dir.path() / "sub");
    const struct { std::string path; int32_t kind, size; } cases[] = {
        {"D:", KOR_KIND_DIRECTORY, -1},        {at("\\plan.dwg"), KOR_KIND_FILE, 5}, {at("/plan.dwg"), KOR_KIND_FILE, 5},
        {at("\\sub\\"), KOR_KIND_DIRECTORY, -1}, {at("\\"), KOR_KIND_DIRECTORY, -1},  {at("\\none"), KOR_KIND_NONE, -1},
        {at("\\plan.dwg\\x"), KOR_KIND_NONE, -1}, {"", KOR_KIND_NONE, -1},          {"D:vutil-none", KOR_KIND_NONE, -1}};
    for (const auto &c : cases) {
        EXPECT_EQ(direct_f(c.path.c_str()), c.kind) << c.path;
        EXPECT_EQ(KorFileSize(c.path.c_str()), c.size) << c.path;
    }
    EXPECT_EQ(direct_f(nullptr), KOR_KIND_NONE);

    // Mode and times as the host's own status call tells them, read-only or not.
    kor_stat status;
    auto stat = [&](const std::string &path) {
        status = {};
        EXPECT_EQ(KorStat(path.c_str(), &status), 0) << path;
        return status;
    };
    using fs::perms;
    for (perms mode : {perms::owner_read | perms::group_read, perms::owner_read | perms::owner_write | perms::group_read}) {
        fs::permissions(dir.path() / "plan.dwg", mode);
        struct stat host {};
        ASSERT_EQ(::stat(dir.file("plan.dwg").c_str(), &host), 0);
        EXPECT_EQ(stat(at("\\plan.dwg")).st_mode, static_cast<uint16_t>(host.st_mode));
        EXPECT_EQ(status.st_mode & 0xF000u, KOR_S_IFREG);
        EXPECT_EQ(status.st_size, 5);
        expectFacts({FACT(status.st_mtime32, static_cast<int32_t>(host.st_mtime)),
                     FACT(status.st_ctime32, static_cast<int32_t>(host.st_ctime))});
    }
    EXPECT_EQ(stat(at("\\sub")).st_mode & 0xF000u, KOR_S_IFDIR);
    // The drive number: of the path's own drive, of a bare drive (a letter of either case), of the current directory.
    const uint32_t drive = static_cast<uint32_t>(std::toupper(static_cast<unsigned char>(root[0])) - 'A');
    expectFacts({FACT(stat(at("\\plan.dwg")).st_dev, drive), FACT(status.st_rdev, drive)});
    const std::string bare = {static_cast<char>(std::tolower(static_cast<unsigned char>(root[0]))), ':'};
    EXPECT_EQ(stat(bare).st_dev, drive) << "a bare drive";
    fs::current_path(dir.path() / "sub");
    EXPECT_EQ(stat("..\\plan.dwg").st_dev, drive) << "the drive of the current directory";
    expectFacts({FACT(KorStat(at("\\none").c_str(), &status), -1), FACT(KorStat(at("\\plan.dwg").c_str(), nullptr), -1)});
}

TEST_F(FileSystem, UnlinkChangeDirectoryAndMakeDir) {
    dir.write("Mixed.Case", "x");
    dir.write("file", "x");
    fs::create_directories(dir.path() / "dwg" / "sub");
    fs::create_directory(dir.path() / "a");
    EXPECT_EQ(KorUnlink(at("\\MIXED.CASE").c_str()), 1) << "names are found without regard to case";
    EXPECT_FALSE(fs::exists(dir.path() / "Mixed.Case"));
    expectFacts({FACT(KorUnlink(at("\\Mixed.Case").c_str()), 0), FACT(KorUnlink(at("\\dwg").c_str()), 0), FACT(KorUnlink(""), 0),
                 FACT(KorUnlink(nullptr), 0)});
    EXPECT_TRUE(fs::is_directory(dir.path() / "dwg"));
    const int32_t held = openWith("held", "x", KOR_OPEN_READWRITE);
    EXPECT_EQ(KorUnlink(at("\\HELD").c_str()), host::kDeletesAnOpenFile ? 1 : 0) << "a file open in the library";
    EXPECT_EQ(fs::exists(dir.path() / "held"), !host::kDeletesAnOpenFile);
    KorCloseFile(held);
    // A trailing slash goes like a backslash; a file or a missing directory changes nothing.
    const struct {
        std::string path;
        int32_t result;
        fs::path now;
    } moves[] = {{at("/dwg/sub/"), 0, dir.path() / "dwg" / "sub"},
                 {at("\\"), 0, dir.path()},
                 {"dwg", 0, dir.path() / "dwg"},
                 {at("\\file\\"), 1, dir.path() / "dwg"}};
    for (const auto &move : moves) {
        EXPECT_EQ(ChangeDirectory(move.path.c_str()), move.result) << move.path;
        EXPECT_TRUE(fs::equivalent(fs::current_path(), move.now)) << move.path << ": " << fs::current_path();
    }
    expectFacts({FACT(ChangeDirectory(at("\\missing\\").c_str()), 0), FACT(ChangeDirectory(""), 0), FACT(ChangeDirectory(nullptr), 0)});
    const std::string missing = host::missingDrive();
    EXPECT_EQ(ChangeDirectory(missing.c_str()), -1) << "a bare drive counts as a directory; without one, the host refuses";
    EXPECT_TRUE(fs::equivalent(fs::current_path(), dir.path() / "dwg"));
    // Trailing separators of either kind, and mixed ones, end the walk at the drive; a relative path stops at
    // its first component.
    fs::current_path(dir.path());
    for (const std::string &path : {at("\\a\\b\\c"), at("/x/y/"), at("\\p/q\\\\r"), at("\\"), std::string("rel\\one")})
        EXPECT_EQ(KORmakedir(path.c_str()), 1) << path;
    for (const char *made : {"a/b/c", "x/y", "p/q/r", "rel/one"})
        EXPECT_TRUE(fs::is_directory(dir.path() / made)) << made;
    expectFacts({FACT(KORmakedir(at("\\file\\sub").c_str()), 0), FACT(KORmakedir(at("\\file").c_str()), 0), FACT(KORmakedir(""), 0),
                 FACT(KORmakedir(nullptr), 0)});
    // Longer than any host path: refused at once instead of walked.
    std::string deep = root;
    for (int i = 0; i < 3000; ++i) deep += "\\d";
    EXPECT_EQ(KORmakedir(deep.c_str()), 0);
    EXPECT_EQ(direct_f(at("\\d").c_str()), KOR_KIND_NONE);
}

/// The temporary directory is the scratch directory, named with separators to spare.
class TemporaryNames : public FileTest {
protected:
    void SetUp() override {
        FileTest::SetUp();
        setenv(host::kTemporaryVariable, (dir.path().string() + "//").c_str(), 1);
        ASSERT_EQ(KorMakeTmpName(first), 1);
    }
    fs::path named(int step) const { return dir.path() / temporaryNameAfter(first, step); }
    char first[KOR_MAX_PATH];
};

TEST_F(TemporaryNames, AreFreshNamesInTheTemporaryDirectory) {
    char name[KOR_MAX_PATH];
    ASSERT_EQ(KorMakeTmpName(name), 1);
    EXPECT_EQ(std::string(name), named(1).make_preferred().string()) << "in the host's notation, with one separator";
    EXPECT_FALSE(fs::exists(name)) << "the name only is made";
    // Names something has, in any case, are passed over.
    dir.write(named(2).string(), "");
    std::string upper = named(3).filename().string();
    std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
    dir.write(upper, "");
    ASSERT_EQ(KorMakeTmpName(name), 1);
    EXPECT_EQ(fs::path(name), named(4));
    EXPECT_EQ(KorMakeTmpName(nullptr), 0);

    // A name has 23 characters after the directory at most: 236 characters of directory fit a path buffer,
    // 237 do not, and give the host's fallback.
    const std::size_t room = 236 - dir.path().string().size() - 1;
    const fs::path fits = dir.path() / std::string(room, 't'), tooLong = dir.path() / std::string(room + 1, 't');
    for (const fs::path &directory : {fits, tooLong}) {
        fs::create_directory(directory);
        setenv(host::kTemporaryVariable, directory.string().c_str(), 1);
        ASSERT_EQ(KorMakeTmpName(name), 1);
        const std::string made = name;
        EXPECT_EQ(made.substr(0, made.size() - fs::path(made).filename().string().size()),
                  directory == fits ? (directory / "").string() : host::fallbackTemporaryDirectory());
    }
}

TEST_F(FileSystem, AppendCopiesWholeFiles) {
    for (const char *directory : {"out", "in"}) fs::create_directory(dir.path() / directory);
    dir.write("in/plan.dwg", "drawing");
    const std::string source = at("\\in\\plan.dwg");
    expectFacts({FACT(KorAppendFile(at("\\out").c_str(), source.c_str()), 1),
                 FACT(KorAppendFile(at("/out/").c_str(), at("/in/plan.dwg").c_str()), 1)});
    EXPECT_EQ(contents("out/plan.dwg"), "drawingdrawing") << "into a directory: the source's name";
    struct stat status {};
    ASSERT_EQ(::stat(dir.file("out/plan.dwg").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0600, 0600u) << "created readable and writable";
    // Nothing to read creates nothing; a destination that cannot be made fails; a source that is no
    // regular file is read to its end.
    const std::string dest = at("\\dest"), big = at("\\big");
    expectFacts({FACT(KorAppendFile(dest.c_str(), at("\\missing").c_str()), 1), FACT(KorAppendFile(dest.c_str(), at("\\in").c_str()), 1),
                 FACT(KorAppendFile(dest.c_str(), nullptr), 1)});
    EXPECT_FALSE(fs::exists(dir.path() / "dest"));
    expectFacts({FACT(KorAppendFile(nullptr, source.c_str()), 0), FACT(KorAppendFile(at("\\no\\dest").c_str(), source.c_str()), 0)});
    EXPECT_EQ(KorAppendFile(dest.c_str(), host::kNullDevice), 1);
    EXPECT_EQ(contents("dest"), "");
    // The copy goes in chunks of 64 KiB: sizes one past a chunk, and a file appended to
    // itself (copied as large as it was when the copy began).
    for (std::size_t size : {std::size_t{1}, std::size_t{65537}, std::size_t{131073}}) {
        const std::string bytes = randomBytes(size, 7);
        dir.write("big", bytes);
        dir.write("dest", "head");
        expectFacts({FACT(KorAppendFile(dest.c_str(), big.c_str()), 1), FACT(KorAppendFile(big.c_str(), big.c_str()), 1)});
        EXPECT_TRUE(contents("dest") == "head" + bytes) << size;
        EXPECT_TRUE(contents("big") == bytes + bytes) << size;
    }
    // A file held exclusively can be neither appended to nor read.
    const int32_t handle = openWith("dest", contents("dest"), KOR_OPEN_WRITE);
    EXPECT_EQ(KorAppendFile(dest.c_str(), source.c_str()), 0);
    EXPECT_EQ(KorAppendFile(at("\\other").c_str(), dest.c_str()), 1);
    EXPECT_FALSE(fs::exists(dir.path() / "other"));
    KorCloseFile(handle);
    // A full disk, and a read error in the middle.
    faults::fullDisk();
    EXPECT_EQ(KorAppendFile(at("\\full").c_str(), big.c_str()), 0);
    faults::restore();
    faults::failReads(1);
    EXPECT_EQ(KorAppendFile(at("\\broken").c_str(), big.c_str()), 0);
    EXPECT_EQ(contents("broken"), contents("big").substr(0, 65536));
}

}  // namespace
}  // namespace vutil::test
