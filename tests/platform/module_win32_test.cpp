// Tests of the module layer on Windows: module handles are the loader's, and their names full paths with a drive.
#include <gtest/gtest.h>
#include <windows.h>

#include <cctype>
#include <string>

#include "platform/module.h"

namespace {

namespace pf = vutil::platform;

std::string lower(std::string text) {
    for (char &c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

TEST(Module, FileNamesAreTheLoadersFullPaths) {
    // The tests link the library statically: its module is the test program.
    char program[MAX_PATH];
    ASSERT_GT(GetModuleFileNameA(nullptr, program, MAX_PATH), 0u);
    EXPECT_EQ(pf::currentModule(), static_cast<void *>(GetModuleHandleA(nullptr)));
    EXPECT_EQ(pf::moduleFileName(pf::currentModule()), program);
    const std::string kernel = pf::moduleFileName(GetModuleHandleA("kernel32.dll"));
    EXPECT_TRUE(kernel.size() > 3 && kernel[1] == ':' && kernel[2] == '\\' && lower(kernel).ends_with("\\kernel32.dll"))
        << kernel;
    // Only module handles name modules here: an address inside one is no handle.
    EXPECT_EQ(pf::moduleFileName(static_cast<void *>(program)), "");
    EXPECT_EQ(pf::moduleFileName(nullptr), "");
}

}  // namespace
