// Tests of the settings-file exports on every host: edits of real files, readers' defaults, failed writers and
// writers in threads.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "profile_support.h"
#include "runtime/profile.h"

namespace vutil::test {

bool failingHook(vutil::platform::ProfileStep step, std::size_t written) {
    if (step == failStep && written >= failAt && killInstead) killThisWriter();
    return step != failStep || written < failAt;
}

namespace {

namespace fs = std::filesystem;

// The text rules themselves are tested with the settings text; here the exports edit a real CR LF file.
TEST(ProfileFiles, EditsKeepCrLfLinesRealsThreeDigitsAndUnchangedFilesAlone) {
    TempDir dir;
    const std::string file = dir.write("crlf.ini", sourceData("crlf.ini"));
    EXPECT_TRUE(KorWritePrivateProfileReal("View", "Scale", 2.0 / 3.0, file.c_str()) == 1 && KorWritePrivateProfileString("View", "Mode", nullptr, file.c_str()) == 1 &&
                KorWritePrivateProfileReal("Colors", "Pen2", 1234.0, file.c_str()) == 1 && KorWritePrivateProfileInt("Units", "Metric", 1, file.c_str()) == 1);
    EXPECT_EQ(TempDir::read(file), sourceData("crlf.expected.ini"));
    const auto past = fs::last_write_time(file) - std::chrono::hours(48);  // a replacement would be younger
    fs::last_write_time(file, past);
    EXPECT_TRUE(KorWritePrivateProfileString("colors", "PEN1", "7", file.c_str()) == 1 && fs::last_write_time(file) == past)
        << "a write that changes nothing leaves the file alone";
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

TEST(ProfileFiles, FilesPast1MiBAndDirectoriesAreRefused) {
    TempDir dir;
    const std::string big = dir.write("big.ini", "[s]\nk=1\n" + std::string(1 << 20, ';'));  // files past 1 MiB are not read
    for (const std::string &name : {big, dir.path().string()})
        EXPECT_TRUE(read("s", "k", name) == "<absent>" && KorWritePrivateProfileString("s", "k", "v", name.c_str()) == 0) << name;
}

// A writer that fails at any step leaves the old file whole and nothing beside it but what the host keeps.
TEST(ProfileFiles, AFailedWriterLeavesTheOldFileWhole) {
    using Step = vutil::platform::ProfileStep;
    expectStoppedWritersLeaveTheOldFile(
        {{Step::Write, 0}, {Step::Write, 8192}, {Step::Sync, 0}, {Step::Rename, 0}}, false,
        [](const std::string &file) { return KorWritePrivateProfileString("s", "key5", "new", file.c_str()) == 0; });
}

// Writers in threads of this process set their own keys; none may be lost to another's replacement of the file,
// and no lock of theirs stays beside it.
TEST(ProfileFiles, ConcurrentWritersKeepEachOthersKeys) {
    TempDir dir;
    const std::string file = dir.file("shared.ini");
    std::atomic<int> failed{0};
    std::vector<std::thread> writers;
    for (int writer = 0; writer < 4; ++writer) writers.emplace_back([&, writer] { failed += writeKeys(file, writer); });
    for (std::thread &writer : writers) writer.join();
    EXPECT_EQ(failed.load(), 0);
    EXPECT_EQ(keysIn(file), allKeys(4));
    EXPECT_EQ(namesIn(dir.path()), std::set<std::string>{"shared.ini"});
}

}  // namespace
}  // namespace vutil::test
