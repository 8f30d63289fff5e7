// Tests of the module layer: the library's own handle and the file names of modules.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/module.h"

namespace {

namespace pf = vutil::platform;

TEST(Module, FileNamesAreFullHostPaths) {
    // The tests link the library statically: its module is the test program.
    char program[PATH_MAX];
    ASSERT_NE(realpath("/proc/self/exe", program), nullptr);
    EXPECT_EQ(pf::moduleFileName(pf::currentModule()), program);
    const std::string libc = pf::moduleFileName(static_cast<void *>(stdout));  // a FILE inside the C library
    EXPECT_TRUE(libc.starts_with('/') && libc.find("libc") != std::string::npos) << libc;
    EXPECT_EQ(pf::moduleFileName(nullptr), "");
}

}  // namespace
