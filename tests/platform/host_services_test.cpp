// Tests of host services: whether a name is free, the stacks threads get, settings files the host will not let grow,
// local time in zones other than UTC, and commands the host has no resources to start.
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdlib>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/profile.h"
#include "platform/thread.h"
#include "support/facts.h"
#include "support/temp_dir.h"
#include "vutil/runtime.h"

namespace {

namespace pf = vutil::platform;

TEST(FileSystem, ANameIsFreeOnlyWhenNothingAtAllHasIt) {
    vutil::test::TempDir dir;
    std::filesystem::create_symlink(dir.path() / "nowhere", dir.path() / "dangling");
    for (const auto &[name, free] : std::vector<std::pair<std::string, bool>>{
             {dir.write("taken", "x"), false}, {dir.file("dangling"), false}, {dir.path().string(), false},
             {dir.file("missing"), true}, {"", false}}) {
        EXPECT_EQ(pf::nameIsFree(name), free) << name;
    }
}

/// The stack size of the calling thread, stored through the context.
uint32_t storeStackSize(void *context) {
    pthread_attr_t attributes;
    pthread_getattr_np(pthread_self(), &attributes);
    pthread_attr_getstacksize(&attributes, static_cast<std::size_t *>(context));
    pthread_attr_destroy(&attributes);
    return 0;
}

TEST(Threads, StacksAreWhatWasAskedButNeverBelowTheHostDefault) {
    pthread_attr_t attributes;
    std::size_t host = 0;
    pthread_attr_init(&attributes);
    pthread_attr_getstacksize(&attributes, &host);
    pthread_attr_destroy(&attributes);
    for (std::size_t asked : {std::size_t{0}, std::size_t{16384}, 2 * host}) {
        std::size_t got = 0;
        pf::Thread *thread = pf::startThread(storeStackSize, &got, asked, false);
        ASSERT_NE(thread, nullptr) << asked;
        ASSERT_EQ(pf::waitForThread(thread, 10000), pf::WaitResult::Ended);
        EXPECT_GE(got, std::max(asked, host)) << asked;
    }
}

TEST(ProfileFiles, AWriteTheHostCutsShortFailsAndLeavesTheFileAsItWas) {
    vutil::test::TempDir dir;
    const std::string file = dir.write("cut.ini", "[s]\nk=old\n");
    rlimit saved{}, small{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    small = {4096, saved.rlim_max};
    std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = pf::writeProfileString("s", "k", std::string(10000, 'v').c_str(), file.c_str());
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, SIG_DFL);
    EXPECT_FALSE(written);
    EXPECT_EQ(vutil::test::TempDir::read(file), "[s]\nk=old\n");
    // Removals from a file that is not there find nothing to remove, and leave nothing behind.
    const std::string none = dir.file("none.ini");
    EXPECT_TRUE(pf::writeProfileString("s", "k", nullptr, none.c_str()) &&
                pf::writeProfileString("s", nullptr, nullptr, none.c_str()));
    for (const auto &entry : std::filesystem::directory_iterator(dir.path())) {
        EXPECT_EQ(entry.path().filename().string().find("none"), std::string::npos) << entry.path();
    }
}

// Local time follows TZ, here in rules of its own that need no zone files: a zone east of UTC by a half hour, and
// one west of it with summer time. Expectations from fixed offsets.
TEST(LocalTime, FollowsTheZoneAndItsSummerTime) {
    const std::string saved = std::getenv("TZ") != nullptr ? std::getenv("TZ") : "";
    const char *const india = "IST-5:30", *const eastern = "EST5EDT,M3.2.0,M11.1.0";
    const struct { const char *zone; int32_t seconds, year, yearDay, secondOfDay, summer; } cases[] = {
        {india, 0, 70, 0, 19800, 0},          {india, -1, 70, 0, 19799, 0},              {india, INT32_MAX, 138, 18, 31447, 0},
        {eastern, 1000000000, 101, 250, 78400, 1}, {eastern, 978307200, 100, 365, 68400, 0}, {eastern, INT32_MIN, 1, 346, 56752, 0}};
    for (const auto &c : cases) {
        setenv("TZ", c.zone, 1);
        SCOPED_TRACE(testing::Message() << c.zone << " " << c.seconds);
        const struct tm *t = KOR_LocalTime(c.seconds);
        ASSERT_NE(t, nullptr);
        vutil::test::expectFacts({FACT(t->tm_year, c.year), FACT(t->tm_yday, c.yearDay), FACT(t->tm_isdst, c.summer),
                                  FACT(t->tm_hour * 3600 + t->tm_min * 60 + t->tm_sec, c.secondOfDay)});
    }
    saved.empty() ? unsetenv("TZ") : setenv("TZ", saved.c_str(), 1);
}

// A command that cannot get the descriptors to start with is refused as out of resources.
TEST(Command, AStartWithoutResourcesGivesZero) {
    rlimit saved{}, none{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    none = {0, saved.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &none), 0);
    const int32_t result = KORsystem("exit %d", 0);
    setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_EQ(result, 0);
}

}  // namespace
