// Tests of settings files: the exports on real files, where files live, whole replacement, concurrent writers.
#include <gtest/gtest.h>
#include <signal.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <tuple>
#include <thread>
#include <vector>

#include "platform/profile.h"
#include "runtime/profile.h"
#include "support/temp_dir.h"
#include "vutil/runtime.h"

namespace {

namespace fs = std::filesystem;
using vutil::test::TempDir;

/// Sets an environment variable for a scope (null: unset), then restores it.
struct ScopedEnv {
    ScopedEnv(const char *name, const char *value) : name(name), had(std::getenv(name) != nullptr), old(had ? std::getenv(name) : "") {
        value != nullptr ? setenv(name, value, 1) : unsetenv(name);
    }
    ~ScopedEnv() { had ? setenv(name, old.c_str(), 1) : unsetenv(name); }
    const char *name;
    bool had;
    std::string old;
};

std::string read(const char *section, const char *key, const std::string &file, const char *def = "<absent>") {
    char buffer[256];
    return std::string(buffer, static_cast<std::size_t>(KorGetPrivateProfileString(section, key, def, buffer, sizeof buffer, file.c_str())));
}

std::string sourceData(const char *name) { return TempDir::read(std::string(VUTIL_RUNTIME_TEST_DATA "/profile/") + name); }

// The text rules themselves are tested with the settings text; here the exports edit a real CR LF file.
TEST(ProfileFiles, EditsKeepCrLfLinesRealsThreeDigitsAndUnchangedFilesAlone) {
    TempDir dir;
    const std::string file = dir.write("crlf.ini", sourceData("crlf.ini"));
    EXPECT_TRUE(KorWritePrivateProfileReal("View", "Scale", 2.0 / 3.0, file.c_str()) == 1 && KorWritePrivateProfileString("View", "Mode", nullptr, file.c_str()) == 1 &&
                KorWritePrivateProfileReal("Colors", "Pen2", 1234.0, file.c_str()) == 1 && KorWritePrivateProfileInt("Units", "Metric", 1, file.c_str()) == 1);
    EXPECT_EQ(TempDir::read(file), sourceData("crlf.expected.ini"));
    struct stat before {}, after {};
    EXPECT_TRUE(stat(file.c_str(), &before) == 0 && KorWritePrivateProfileString("colors", "PEN1", "7", file.c_str()) == 1 &&
                stat(file.c_str(), &after) == 0 && after.st_ino == before.st_ino) << "a write that changes nothing leaves the file alone";
    EXPECT_TRUE(KorGetPrivateProfileReal("View", "Scale", 9.0, file.c_str()) == 0.667 && KorGetPrivateProfileReal("Colors", "Pen2", 9.0, file.c_str()) == 1230.0 &&
                KorGetPrivateProfileInt("Units", "Metric", 0, file.c_str()) == 1);
    EXPECT_EQ(read("colors", "TITLE", file), "a b") << "the first key of a section, its quotes gone";
    char list[64];
    EXPECT_TRUE(KorGetPrivateProfileString(nullptr, nullptr, nullptr, list, sizeof list, file.c_str()) == 18 && std::string(list, 19) == std::string("View\0Colors\0Units\0\0", 19));
}

TEST(ProfileReals, SignificantDigitsInTheRuntimesNotation) {
    const struct { double value; int digits; const char *text; } cases[] = {{0.125, 3, "0.125"}, {2.0 / 3.0, 3, "0.667"}, {-2.0 / 3.0, 3, "-0.667"}, {1.0, 3, "1."}, {0.0, 3, "0."}, {100.0, 3, "100"},
                 {12.5, 3, "12.5"}, {999.6, 3, "1000"}, {1234.0, 3, "1.23e+003"}, {1000.0, 3, "1.e+003"}, {0.1, 3, "0.1"}, {0.05, 3, "5.e-002"},
                 {0.0123, 3, "1.23e-002"}, {-1.5e300, 3, "-1.5e+300"}, {INFINITY, 3, "inf"}, {-INFINITY, 3, "-inf"}, {NAN, 3, "nan"},
                 {-3.1415e5, 7, "-314150."}, {-1234567890.123, 12, "-1234567890.12"}, {-123456789012.3, 12, "-123456789012"},
                 {-1234567890123.0, 12, "-1.23456789012e+012"}, {-0.01234567890123, 12, "-1.23456789012e-002"}};
    for (const auto &c : cases) EXPECT_EQ(vutil::runtime::gcvt(c.value, c.digits), c.text) << c.value;
}

TEST(ProfileFiles, WritesCreateFilesSectionsAndKeysNullsDeleteAndReadersFallBack) {
    TempDir dir;
    const std::string file = dir.file("new.ini");
    EXPECT_TRUE(KorWritePrivateProfileString("s", "k", nullptr, file.c_str()) == 1 && KorWritePrivateProfileString("s", nullptr, nullptr, file.c_str()) == 1 &&
                !fs::exists(file)) << "nothing to remove, and a removal makes no file";
    EXPECT_TRUE(KorWritePrivateProfileString("s", "k", "v", file.c_str()) == 1 && KorWritePrivateProfileString("t", "a", "1", file.c_str()) == 1 &&
                TempDir::read(file) == "[s]\nk=v\n\n[t]\na=1\n");
    EXPECT_EQ(KorWritePrivateProfileString("S", nullptr, "ignored", file.c_str()), 1);
    // Refused: no section, a name or value that would not read back, no file name, a missing directory.
    EXPECT_EQ(KorWritePrivateProfileString(nullptr, "a", "2", file.c_str()) + KorWritePrivateProfileString("t", "a", "2", nullptr) +
                  KorWritePrivateProfileString("t", "a=", "2", file.c_str()) +
                  KorWritePrivateProfileString("t", "a", "2", dir.file("no/such/dir.ini").c_str()), 0);
    EXPECT_TRUE(TempDir::read(file) == "[t]\na=1\n" && !fs::exists(dir.file("no")));
    // Readers give the exact default where there is no value.
    const std::string r = dir.write("r.ini", "[s]\nempty=\nbad=abc\nint=7\n");
    const double third = 1.0 / 3.0;
    for (const auto &[section, key, value] : {std::tuple<const char *, const char *, double>{"s", "absent", third}, {"s", "empty", third},
                                              {"s", nullptr, third}, {"s", "bad", 0.0}, {"s", "int", 7.0}, {nullptr, "int", third}})
        EXPECT_EQ(KorGetPrivateProfileReal(section, key, third, r.c_str()), value) << (key ? key : "null");
    EXPECT_TRUE(KorGetPrivateProfileInt(nullptr, "int", -3, r.c_str()) == -3 && read("t", "a", dir.file("missing.ini")) == "<absent>");
    char buffer[8] = "xxxxxxx";
    EXPECT_TRUE(KorGetPrivateProfileString("t", "a", "d", buffer, 0, file.c_str()) == 0 && KorGetPrivateProfileString("t", "a", "d", nullptr, 8, file.c_str()) == 0 &&
                std::string(buffer) == "xxxxxxx");
    EXPECT_EQ(KorGetPrivateProfileString("t", "a", "none", buffer, sizeof buffer, nullptr), 4) << "no file name";
}

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

TEST(ProfileFiles, ReplacementKeepsLinksModesAndRefusesOtherKinds) {
    TempDir dir;
    const std::string real = dir.write("real.ini", "[s]\nk=1\n"), link = dir.file("link.ini");
    chmod(real.c_str(), 0640), fs::create_symlink(real, link);
    EXPECT_TRUE(KorWritePrivateProfileString("s", "k", "2", link.c_str()) == 1 && fs::is_symlink(link) && TempDir::read(real) == "[s]\nk=2\n");
    EXPECT_EQ(fs::status(real).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string big = dir.write("big.ini", "[s]\nk=1\n" + std::string(1 << 20, ';'));  // files past 1 MiB are not read
    for (const std::string &name : {fifo, big, dir.path().string()})  // a named pipe reads as empty, without waiting
        EXPECT_TRUE(read("s", "k", name) == "<absent>" && KorWritePrivateProfileString("s", "k", "v", name.c_str()) == 0) << name;
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

/// Fails the step it is armed for, once `written` reaches `at`, or kills the writer there.
vutil::platform::ProfileStep failStep;
std::size_t failAt = 0;
bool killInstead = false;
bool failingHook(vutil::platform::ProfileStep step, std::size_t written) {
    if (step == failStep && written >= failAt && killInstead) raise(SIGKILL);  // a writer that dies in the middle
    return step != failStep || written < failAt;
}

TEST(ProfileFiles, AFailedOrKilledWriterLeavesTheOldFileWhole) {
    TempDir dir;
    std::string old = "; many keys\n[s]\n";
    for (int i = 0; i < 1000; ++i) old += "key" + std::to_string(i) + "=value " + std::to_string(i * 7) + "\n";
    const std::string file = dir.write("s.ini", old);
    using Step = vutil::platform::ProfileStep;
    const std::pair<Step, std::size_t> cases[] = {{Step::Write, 0}, {Step::Write, 8192}, {Step::Sync, 0}, {Step::Rename, 0}, {Step::Write, 0}, {Step::Write, 12288}};
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto [step, at] = cases[i];
        failStep = step, failAt = at, killInstead = i >= 4;  // the last two kill the writer
        vutil::platform::setProfileStepHook(failingHook);
        const pid_t child = killInstead ? fork() : -1;
        if (child == 0) KorWritePrivateProfileString("s", "key5", "new", file.c_str()), _exit(0);
        int status = 0;
        EXPECT_TRUE(killInstead ? child > 0 && waitpid(child, &status, 0) == child && WIFSIGNALED(status)
                                : KorWritePrivateProfileString("s", "key5", "new", file.c_str()) == 0) << i;
        vutil::platform::setProfileStepHook(nullptr);
        EXPECT_TRUE(TempDir::read(file) == old && (killInstead || !fs::exists(dir.file(".s.ini.new")))) << "the new file is removed " << at;
    }
    // The next writer finds the file and the lock as they should be.
    EXPECT_TRUE(KorWritePrivateProfileString("s", "key5", "new", file.c_str()) == 1 && read("s", "key5", file) == "new" && read("s", "key999", file) == "value 6993");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1) << "nothing beside the file";
}

// Writers in other processes and threads of this one set their own keys; none may be lost to another's
// replacement of the file.
TEST(ProfileFiles, ConcurrentWritersKeepEachOthersKeys) {
    TempDir dir;
    const std::string file = dir.file("shared.ini");
    std::set<std::string> keys, expected;
    const auto key = [](int writer, int i) { return std::string("w").append(std::to_string(writer)).append("k").append(std::to_string(i)); };
    std::atomic<int> failed{0};  // writes that reported a failure
    const auto writeKeys = [&](int writer) {
        for (int i = 0; i < 16; ++i) failed += KorWritePrivateProfileString(i % 2 ? "odd" : "even", key(writer, i).c_str(), "x", file.c_str()) != 1;
        return failed.load();
    };
    pid_t children[2];
    for (int writer = 0; writer < 2; ++writer)
        if ((children[writer] = fork()) == 0) _exit(writeKeys(writer));
    std::thread first(writeKeys, 2), second(writeKeys, 3);
    first.join(), second.join();
    for (int status = 0; pid_t child : children) EXPECT_TRUE(child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(failed.load(), 0);
    for (const char *section : {"even", "odd"}) {
        std::vector<char> list(1 << 16);
        KorGetPrivateProfileString(section, nullptr, nullptr, list.data(), static_cast<int32_t>(list.size()), file.c_str());
        for (const char *name = list.data(); *name != '\0'; name += std::strlen(name) + 1) keys.insert(name);
    }
    for (int i = 0; i < 64; ++i) expected.insert(key(i / 16, i % 16));
    EXPECT_EQ(keys, expected);
}

}  // namespace
