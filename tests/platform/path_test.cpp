// Tests of the mapping from library paths to host paths.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "platform/codepage.h"
#include "platform/path.h"
#include "support/temp_dir.h"

namespace {

using vutil::platform::toHostPath;

TEST(HostPath, BackslashesBecomeSlashesAndUnmappedDrivesAreDropped) {
    unsetenv("VUTIL_DRIVE_C");
    unsetenv("VUTIL_DRIVE_D");
    struct Case {
        const char *library;
        const char *host;
    };
    const Case cases[] = {
        {"C:\\dwg\\a.dwg", "/dwg/a.dwg"}, {"c:\\dwg\\a.dwg", "/dwg/a.dwg"}, {"a\\b.txt", "a/b.txt"},
        {"/already/host", "/already/host"}, {"D:name.dwg", "name.dwg"},    {"", ""},
        {"\\\\server\\share", "//server/share"}, {"1:\\x", "1:/x"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(toHostPath(c.library), c.host) << c.library;
    }
}

TEST(HostPath, MappedDrivesUseTheirDirectory) {
    setenv("VUTIL_DRIVE_C", "/mnt/c", 1);
    setenv("VUTIL_DRIVE_D", "/data/", 1);
    EXPECT_EQ(toHostPath("C:\\dwg\\a.dwg"), "/mnt/c/dwg/a.dwg");
    EXPECT_EQ(toHostPath("c:/dwg"), "/mnt/c/dwg");
    EXPECT_EQ(toHostPath("C:rel"), "/mnt/c/rel");
    EXPECT_EQ(toHostPath("C:"), "/mnt/c");
    EXPECT_EQ(toHostPath("C:\\"), "/mnt/c/");
    EXPECT_EQ(toHostPath("D:\\"), "/data/");
    EXPECT_EQ(toHostPath("D:\\x"), "/data/x");
    EXPECT_EQ(toHostPath("D:x"), "/data/x");
    unsetenv("VUTIL_DRIVE_C");
    unsetenv("VUTIL_DRIVE_D");
}

TEST(HostPath, SecondBytesOfDoubleByteCharactersAreNotSeparators) {
    ASSERT_TRUE(vutil::platform::setAnsiCodePage(932));
    // 0x95 0x5C is one character in code page 932; its second byte is a backslash.
    EXPECT_EQ(toHostPath("a\\\x95\\b\\c"), "a/\x95\\b/c");
    EXPECT_EQ(vutil::platform::toHostNotation("\x95"), "\x95") << "a lead byte at the end stays";
    ASSERT_TRUE(vutil::platform::setAnsiCodePage(1252));
    EXPECT_EQ(toHostPath("a\\\x95\\b"), "a/\x95/b");
}

TEST(HostPath, MissingNamesResolveToTheirOnlyCaseVariant) {
    vutil::test::TempDir dir;
    namespace fs = std::filesystem;
    fs::create_directories(dir.path() / "Dwg" / "Sub");
    fs::create_directories(dir.path() / "Two" / "Mid" / "Sub");
    fs::create_directories(dir.path() / "TWO");
    dir.write("Dwg/Sub/Plan.DWG", "x");
    dir.write("Dwg/twin", "x");
    dir.write("Dwg/TWIN", "x");
    setenv("VUTIL_DRIVE_C", dir.path().c_str(), 1);
    const std::string root = dir.path().string();
    struct Case {
        const char *library;
        std::string host;
    };
    const Case cases[] = {
        {"C:\\DWG\\sub\\plan.dwg", root + "/Dwg/Sub/Plan.DWG"},
        {"C:\\dwg\\SUB\\", root + "/Dwg/Sub/"},
        {"C:\\dwg\\\\sub\\new.dwg", root + "/Dwg//Sub/new.dwg"},  // a new name in an existing directory
        {"C:\\Dwg\\Sub\\Plan.DWG", root + "/Dwg/Sub/Plan.DWG"},   // exact: no listing needed
        {"C:\\dwg\\Twin", root + "/Dwg/Twin"},                    // two variants: the name stays
        {"C:\\dwg\\twin", root + "/Dwg/twin"},
        // The walk starts below the longest prefix that exists: "Two", which has two variants, is not looked at.
        {"C:\\Two\\Mid\\sub\\x", root + "/Two/Mid/Sub/x"},
        {"C:\\dwg\\.\\sub\\..\\SUB", root + "/Dwg/./Sub/../Sub"},
        {"C:\\dwg\\sub\\plan.dwg\\x", root + "/Dwg/Sub/Plan.DWG/x"},  // below a file nothing is found
        {"C:\\none\\dwg", root + "/none/dwg"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(toHostPath(c.library), c.host) << c.library;
    }
    // Relative names resolve in the current directory.
    fs::path saved = fs::current_path();
    fs::current_path(dir.path() / "Dwg");
    EXPECT_EQ(toHostPath("sub\\PLAN.dwg"), "Sub/Plan.DWG");
    fs::current_path(saved);
    ASSERT_EQ(::chmod((dir.path() / "Dwg").c_str(), 0), 0);
    if (::access((dir.path() / "Dwg" / "Sub").c_str(), F_OK) != 0) {  // not when the tests run as root
        EXPECT_EQ(toHostPath("C:\\dwg\\sub"), root + "/Dwg/sub") << "a directory that cannot be read";
    }
    ASSERT_EQ(::chmod((dir.path() / "Dwg").c_str(), 0755), 0);
    unsetenv("VUTIL_DRIVE_C");
}

TEST(HostPath, HostPathsBackToTheLibraryNotation) {
    using vutil::platform::fromHostPath;
    unsetenv("VUTIL_DRIVE_C");
    EXPECT_EQ(fromHostPath("/home/u/dwg"), "\\home\\u\\dwg");
    EXPECT_EQ(fromHostPath("rel/a"), "rel\\a");
    setenv("VUTIL_DRIVE_C", "/", 1);
    setenv("VUTIL_DRIVE_D", "/mnt/d/", 1);
    setenv("VUTIL_DRIVE_E", "/mnt/d/e", 1);
    setenv("VUTIL_DRIVE_F", "relative", 1);
    EXPECT_EQ(fromHostPath("/home/u"), "C:\\home\\u");
    EXPECT_EQ(fromHostPath("/"), "C:\\");
    EXPECT_EQ(fromHostPath("/mnt/d"), "D:\\");
    EXPECT_EQ(fromHostPath("/mnt/dx/a"), "C:\\mnt\\dx\\a") << "only whole components match";
    EXPECT_EQ(fromHostPath("/mnt/d/a/b"), "D:\\a\\b");
    EXPECT_EQ(fromHostPath("/mnt/d/e/f"), "E:\\f") << "the longest directory wins";
    EXPECT_EQ(fromHostPath("relative/x"), "relative\\x");
    for (const char *variable : {"VUTIL_DRIVE_C", "VUTIL_DRIVE_D", "VUTIL_DRIVE_E", "VUTIL_DRIVE_F"}) {
        unsetenv(variable);
    }
}

}  // namespace
