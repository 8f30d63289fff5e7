// Tests of the file names on Windows, where drive letters are the system's own: the library's file name.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "vutil/fileio.h"

namespace {

TEST(FileNames, TheModuleFileNameIsTheProgramsOwn) {
    // Linked statically, the library lives in the test program itself: the loader's name for it, with its drive.
    char program[MAX_PATH], out[KOR_MAX_PATH];
    ASSERT_GT(GetModuleFileNameA(nullptr, program, MAX_PATH), 0u);
    ASSERT_EQ(KOR_GetModuleFileName(out), 1);
    EXPECT_STREQ(out, program);
    ASSERT_EQ(KOR_GetModuleDirFile(out, "vutil.ini"), 1);
    const std::string name = program;
    EXPECT_EQ(std::string(out), name.substr(0, name.rfind('\\') + 1) + "vutil.ini");
}

}  // namespace
