// Tests of the settings-file exports on POSIX hosts: the settings directory of the user, links, modes, named
// pipes, other users, writers that are killed and writers in other processes.
#include <gtest/gtest.h>
#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "profile_support.h"

namespace vutil::test {

void killThisWriter() {
    raise(SIGKILL);
    _exit(1);
}

namespace {

namespace fs = std::filesystem;

TEST(ProfileFiles, NamesWithoutADirectoryLiveInTheSettingsDirectory) {
    TempDir dir;
    const ScopedEnv own("VUTIL_PROFILE_DIR", nullptr);
    const ScopedEnv config("XDG_CONFIG_HOME", "relative/path");  // not absolute: not used
    const ScopedEnv home("HOME", dir.file("home").c_str());
    EXPECT_TRUE(KorWritePrivateProfileString("s", "k", "home", "a.ini") == 1 && TempDir::read(dir.file("home/.config/vutil/a.ini")) == "[s]\nk=home\n");
    EXPECT_EQ((fs::status(dir.file("home/.config/vutil")).permissions() & fs::perms::all), fs::perms::owner_all);
    {
        const ScopedEnv xdg("XDG_CONFIG_HOME", dir.file("xdg").c_str());
        EXPECT_TRUE(KorWritePrivateProfileString("s", "k", "xdg", "a.ini") == 1 && TempDir::read(dir.file("xdg/vutil/a.ini")) == "[s]\nk=xdg\n");
        const ScopedEnv own2("VUTIL_PROFILE_DIR", dir.file("own").c_str());
        EXPECT_TRUE(KorWritePrivateProfileString("s", "k", "own", "a.ini") == 1 && read("s", "k", "a.ini") == "own" && fs::exists(dir.file("own/a.ini")));
    }
    EXPECT_EQ(read("s", "k", "a.ini"), "home");
    // Names with a directory are library paths.
    const ScopedEnv drive("VUTIL_DRIVE_Q", dir.path().c_str());
    EXPECT_TRUE(KorWritePrivateProfileString("s", "k", "drive", "Q:\\b.ini") == 1 && TempDir::read(dir.file("b.ini")) == "[s]\nk=drive\n");
    EXPECT_EQ(KorWritePrivateProfileString("s", "k", "v", "Q:"), 0) << "a bare drive names its directory";
    const ScopedEnv noHome("HOME", nullptr);
    EXPECT_TRUE(KorWritePrivateProfileString("s", "k", "v", "a.ini") == 0 && read("s", "k", "a.ini") == "<absent>") << "no settings directory";
}

TEST(ProfileFiles, ReplacementKeepsLinksModesAndRefusesNamedPipes) {
    TempDir dir;
    const std::string real = dir.write("real.ini", "[s]\nk=1\n"), link = dir.file("link.ini");
    chmod(real.c_str(), 0640), fs::create_symlink(real, link);
    EXPECT_TRUE(KorWritePrivateProfileString("s", "k", "2", link.c_str()) == 1 && fs::is_symlink(link) && TempDir::read(real) == "[s]\nk=2\n");
    EXPECT_EQ(fs::status(real).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // a named pipe reads as empty, without waiting
    EXPECT_TRUE(read("s", "k", fifo) == "<absent>" && KorWritePrivateProfileString("s", "k", "v", fifo.c_str()) == 0);
}

// As an ordinary user (65534): a file it may not write is refused untouched; one in a directory it may not
// write, one with a second name and one of another user are written in place, keeping inode, names and owner;
// nothing is left beside any of them.
TEST(ProfileFiles, AnOrdinaryUserWritesWhatItMayAndLeavesNothingBeside) {
    if (geteuid() != 0) GTEST_SKIP() << "runs as root, to act as the ordinary user 65534";
    TempDir dir;
    const std::string mine = dir.file("mine"), shut = dir.file("shut");
    ASSERT_TRUE(chmod(dir.path().c_str(), 0755) == 0 && mkdir(mine.c_str(), 0755) == 0 && mkdir(shut.c_str(), 0755) == 0 && chown(mine.c_str(), 65534, 65534) == 0);
    const struct { std::string file; mode_t mode; uid_t owner; int32_t result; bool sameInode; } cases[] = {{mine + "/ro.ini", 0444, 65534, 0, true}, {shut + "/w.ini", 0644, 65534, 1, true}, {mine + "/a.ini", 0644, 65534, 1, true},
                 {mine + "/root.ini", 0666, 0, 1, true},   {mine + "/own.ini", 0640, 65534, 1, false}, {shut + "/new.ini", 0, 0, 0, true}};
    std::vector<struct stat> before(std::size(cases));
    for (std::size_t i = 0; i < std::size(cases); ++i)
        ASSERT_TRUE(cases[i].mode == 0 || (dir.write(cases[i].file.substr(dir.path().string().size() + 1), "[A]\nx=1\n"), chmod(cases[i].file.c_str(), cases[i].mode) == 0 &&
                                           chown(cases[i].file.c_str(), cases[i].owner, cases[i].owner) == 0 && stat(cases[i].file.c_str(), &before[i]) == 0));
    int results[2];
    ASSERT_TRUE(link((mine + "/a.ini").c_str(), (mine + "/b.ini").c_str()) == 0 && pipe(results) == 0);
    if (fork() == 0) {
        const bool dropped = setgroups(0, nullptr) == 0 && setgid(65534) == 0 && setuid(65534) == 0;
        for (int32_t result = 0; const auto &c : cases) result = dropped ? KorWritePrivateProfileString("A", "x", "2", c.file.c_str()) : -1, ::write(results[1], &result, sizeof result);
        _exit(0);
    }
    close(results[1]);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        int32_t result = -2;
        struct stat now {};
        EXPECT_TRUE(::read(results[0], &result, sizeof result) == sizeof result && result == cases[i].result) << cases[i].file;
        EXPECT_TRUE(cases[i].mode == 0 || (TempDir::read(cases[i].file) == (result ? "[A]\nx=2\n" : "[A]\nx=1\n") && stat(cases[i].file.c_str(), &now) == 0 &&
                                           now.st_uid == cases[i].owner && (now.st_mode & 07777) == cases[i].mode && (now.st_ino == before[i].st_ino) == cases[i].sameInode)) << cases[i].file;
    }
    close(results[0]), wait(nullptr);
    EXPECT_EQ(TempDir::read(mine + "/b.ini"), "[A]\nx=2\n") << "the other name of the file";
    std::set<std::string> names;
    for (const auto &entry : fs::recursive_directory_iterator(dir.path())) names.insert(entry.path().filename().string());
    EXPECT_EQ(names, (std::set<std::string>{"mine", "shut", "ro.ini", "w.ini", "a.ini", "b.ini", "root.ini", "own.ini"}));
}

TEST(ProfileFiles, AKilledWriterLeavesTheOldFileWhole) {
    using Step = vutil::platform::ProfileStep;
    expectStoppedWritersLeaveTheOldFile({{Step::Write, 0}, {Step::Write, 12288}}, true, [](const std::string &file) {
        const pid_t child = fork();
        if (child == 0) KorWritePrivateProfileString("s", "key5", "new", file.c_str()), _exit(0);
        int status = 0;
        return child > 0 && waitpid(child, &status, 0) == child && WIFSIGNALED(status);
    });
}

// Writers in other processes and threads of this one set their own keys; none may be lost to another's
// replacement of the file.
TEST(ProfileFiles, ConcurrentWritersInOtherProcessesKeepEachOthersKeys) {
    TempDir dir;
    const std::string file = dir.file("shared.ini");
    std::atomic<int> failed{0};
    pid_t children[2];
    for (int writer = 0; writer < 2; ++writer)
        if ((children[writer] = fork()) == 0) _exit(writeKeys(file, writer));
    std::thread first([&] { failed += writeKeys(file, 2); }), second([&] { failed += writeKeys(file, 3); });
    first.join(), second.join();
    for (int status = 0; pid_t child : children) EXPECT_TRUE(child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(failed.load(), 0);
    EXPECT_EQ(keysIn(file), allKeys(4));
}

}  // namespace
}  // namespace vutil::test
