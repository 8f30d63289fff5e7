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

using vutil::platform::fromHostPath;
using vutil::platform::toHostPath;

void setDrives(const char *c, const char *d) {
    for (auto [variable, value] : {std::pair{"VUTIL_DRIVE_C", c}, std::pair{"VUTIL_DRIVE_D", d}}) {
        value != nullptr ? setenv(variable, value, 1) : unsetenv(variable);
    }
}

TEST(HostPath, DrivesAndSeparators) {
    struct Case {
        const char *c, *d, *library, *host;
    };
    for (const Case &t : {
             // Unmapped drives are dropped; backslashes become slashes.
             Case{nullptr, nullptr, "c:\\dwg\\a.dwg", "/dwg/a.dwg"}, Case{nullptr, nullptr, "D:name.dwg", "name.dwg"},
             Case{nullptr, nullptr, "\\\\server\\share", "//server/share"}, Case{nullptr, nullptr, "1:\\x", "1:/x"},
             // Mapped drives use their directory, with one slash between it and the rest.
             Case{"/mnt/c", "/data/", "c:/dwg", "/mnt/c/dwg"}, Case{"/mnt/c", "/data/", "C:rel", "/mnt/c/rel"},
             Case{"/mnt/c", "/data/", "C:", "/mnt/c"}, Case{"/mnt/c", "/data/", "C:\\", "/mnt/c/"},
             Case{"/mnt/c", "/data/", "D:\\x", "/data/x"}, Case{"/mnt/c", "/data/", "D:x", "/data/x"}, }) {
        setDrives(t.c, t.d);
        EXPECT_EQ(toHostPath(t.library), t.host) << t.library;
    }
    setDrives(nullptr, nullptr);
    // 0x95 0x5C is one character in code page 932; its second byte is a backslash.
    ASSERT_TRUE(vutil::platform::setAnsiCodePage(932));
    EXPECT_EQ(toHostPath("a\\\x95\\b\\c"), "a/\x95\\b/c");
    EXPECT_EQ(vutil::platform::toHostNotation("\x95"), "\x95") << "a lead byte at the end stays";
    ASSERT_TRUE(vutil::platform::setAnsiCodePage(1252));
    EXPECT_EQ(toHostPath("a\\\x95\\b"), "a/\x95/b");
}

TEST(HostPath, MissingNamesResolveToTheirOnlyCaseVariant) {
    vutil::test::TempDir dir;
    namespace fs = std::filesystem;
    fs::create_directories(dir.path() / "Two" / "Mid" / "Sub");
    fs::create_directories(dir.path() / "TWO");
    dir.write("Two/Mid/Sub/Plan.DWG", "x");
    dir.write("Two/Mid/TWIN", "x");
    dir.write("Two/Mid/twin", "x");
    setenv("VUTIL_DRIVE_C", dir.path().c_str(), 1);
    const std::string root = dir.path().string();
    // The walk starts below the longest prefix that exists: "Two", which has two variants, is not looked at.
    for (const auto &[library, host] : std::vector<std::pair<const char *, std::string>>{
             {"C:\\Two\\MID\\sub\\plan.dwg", "/Two/Mid/Sub/Plan.DWG"},
             {"C:\\Two\\mid\\\\sub\\new.dwg", "/Two/Mid//Sub/new.dwg"},  // a new name in an existing directory
             {"C:\\Two\\mid\\Twin", "/Two/Mid/Twin"},                    // two variants: the name stays
             {"C:\\Two\\mid\\.\\sub\\..\\SUB", "/Two/Mid/./Sub/../Sub"},
             {"C:\\Two\\mid\\sub\\plan.dwg\\x", "/Two/Mid/Sub/Plan.DWG/x"},  // below a file nothing is found
         }) {
        EXPECT_EQ(toHostPath(library), root + host) << library;
    }
    const fs::path saved = fs::current_path();
    fs::current_path(dir.path() / "Two");
    EXPECT_EQ(toHostPath("mid\\sub\\PLAN.dwg"), "Mid/Sub/Plan.DWG") << "relative names resolve in the current directory";
    fs::current_path(saved);
    ASSERT_EQ(::chmod((dir.path() / "Two" / "Mid").c_str(), 0), 0);
    if (::access((dir.path() / "Two" / "Mid" / "Sub").c_str(), F_OK) != 0) {  // not when the tests run as root
        EXPECT_EQ(toHostPath("C:\\Two\\Mid\\sub"), root + "/Two/Mid/sub") << "a directory that cannot be read";
    }
    ASSERT_EQ(::chmod((dir.path() / "Two" / "Mid").c_str(), 0755), 0);
    unsetenv("VUTIL_DRIVE_C");
}

TEST(HostPath, HostPathsBackToTheLibraryNotation) {
    setDrives(nullptr, nullptr);
    EXPECT_EQ(fromHostPath("/home/u/dwg"), "\\home\\u\\dwg");
    setDrives("/", "/mnt/d/");
    setenv("VUTIL_DRIVE_E", "/mnt/d/e", 1);
    setenv("VUTIL_DRIVE_F", "relative", 1);
    for (const auto &[host, library] : std::vector<std::pair<const char *, const char *>>{
             {"/", "C:\\"}, {"/mnt/d", "D:\\"}, {"/mnt/d/a/b", "D:\\a\\b"}, {"relative/x", "relative\\x"},
             {"/mnt/dx/a", "C:\\mnt\\dx\\a"},  // only whole components match
             {"/mnt/d/e/f", "E:\\f"}}) {           // the longest directory wins
        EXPECT_EQ(fromHostPath(host), library) << host;
    }
    setDrives(nullptr, nullptr);
    unsetenv("VUTIL_DRIVE_E");
    unsetenv("VUTIL_DRIVE_F");
}

}  // namespace
