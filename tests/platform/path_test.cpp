// Tests of the mapping from library paths to host paths.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/path.h"

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
    EXPECT_EQ(toHostPath("D:\\x"), "/data/x");
    EXPECT_EQ(toHostPath("D:x"), "/data/x");
    unsetenv("VUTIL_DRIVE_C");
    unsetenv("VUTIL_DRIVE_D");
}

}  // namespace
