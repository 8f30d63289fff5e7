// Tests of the settings-file exports on Windows: names without a directory live in the Windows directory, as
// the system's private-profile files do.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <set>
#include <string>

#include "profile_support.h"

namespace vutil::test {

void killThisWriter() { TerminateProcess(GetCurrentProcess(), 1), ExitProcess(1); }

namespace {

namespace fs = std::filesystem;

TEST(ProfileFiles, NamesWithoutADirectoryLiveInTheWindowsDirectory) {
    TempDir dir;
    const std::string name = "vutil-test-" + std::to_string(GetCurrentProcessId()) + ".ini";
    {
        const ScopedEnv own("VUTIL_PROFILE_DIR", dir.path().string().c_str());
        EXPECT_TRUE(KorWritePrivateProfileString("s", "k", "own", name.c_str()) == 1 && TempDir::read(dir.file(name)) == "[s]\nk=own\n");
    }
    const ScopedEnv own("VUTIL_PROFILE_DIR", nullptr);
    char windows[MAX_PATH];
    ASSERT_GT(GetWindowsDirectoryA(windows, MAX_PATH), 0u);
    const fs::path file = fs::path(windows) / name;
    std::error_code error;
    fs::copy_file(dir.write("probe", "x"), file, error);
    if (error) GTEST_SKIP() << "the Windows directory cannot be written here";
    fs::remove(file);
    EXPECT_TRUE(KorWritePrivateProfileString("s", "k", "windows", name.c_str()) == 1 && read("s", "k", name) == "windows");
    EXPECT_EQ(TempDir::read(file.string()), "[s]\nk=windows\n");
    fs::remove(file);
}

}  // namespace
}  // namespace vutil::test
