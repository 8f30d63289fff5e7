// Tests of the tool's output files (written beside the target, renamed on success) and progress line; the
// commands' check runs failed and good outputs through the tool itself.
#include "output.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace vutil::tool {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

std::vector<std::string> namesIn(const fs::path &directory) {
    std::vector<std::string> names;
    for (const auto &entry : fs::directory_iterator(directory)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

mode_t permissions(const std::string &path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
}

TEST(OutputFile, AReplacedFileKeepsItsPermissionsAndTheLinksToIt) {
    TempDir dir;
    fs::create_directory(dir.path() / "real");
    const std::string file = dir.write("real/data", "old");
    ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
    fs::create_symlink(file, dir.path() / "link");
    const mode_t saved = ::umask(027);
    EXPECT_EQ(writeOutput("test", dir.file("link"), "new"), 0);
    EXPECT_EQ(writeOutput("test", dir.file("fresh"), "made"), 0);
    ::umask(saved);
    EXPECT_TRUE(fs::is_symlink(dir.path() / "link"));
    EXPECT_EQ(TempDir::read(file), "new");
    EXPECT_EQ(permissions(file), 0640u);
    EXPECT_EQ(permissions(dir.file("fresh")), 0640u);  // a new file: 0666 less the umask 027
    EXPECT_EQ(namesIn(dir.path() / "real"), std::vector<std::string>{"data"});
    // Written beside the target (one file system), which changes only at the commit.
    OutputFile output(file);
    std::string reason;
    ASSERT_TRUE(output.open(reason) && output.write("newer", reason)) << reason;
    EXPECT_EQ(fs::path(output.path()).parent_path(), dir.path() / "real");
    EXPECT_EQ(TempDir::read(file), "new");
}

TEST(OutputFile, APipeIsWrittenThroughAndStaysAPipe) {
    TempDir dir;
    const std::string fifo = dir.file("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string received;
    std::thread reader([&] { received = TempDir::read(fifo); });
    const std::string data(100000, 'q');  // more than a pipe holds at once
    EXPECT_EQ(writeOutput("test", fifo, data), 0);
    reader.join();
    EXPECT_EQ(received, data);
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"pipe"});
}

TEST(Progress, ShownOnATerminalOnlyAndGoneAtTheEnd) {
    TempDir dir;
    const std::string growing = dir.file("growing");
    int master = -1;
    // The work writes, then waits until the watcher has drawn the file's size on the terminal.
    auto work = [&] {
        std::ofstream(growing, std::ios::binary) << std::string(3000, 'x') << std::flush;
        pollfd drawn{master, POLLIN, 0};
        EXPECT_EQ(::poll(&drawn, 1, 60000), 1) << "no progress line within a minute";
    };
    EXPECT_FALSE(Progress("uncompress", "in.Z").shown());  // the test's standard error is no terminal
    bool tooSoon = false;
    master = ::posix_openpt(O_RDWR | O_NOCTTY);
    const bool pair = master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0;
    const int terminal = pair ? ::open(::ptsname(master), O_RDWR | O_NOCTTY) : -1;
    if (terminal < 0) GTEST_SKIP() << "no pseudo-terminal on this host: " << std::strerror(errno);
    const int saved = ::dup(STDERR_FILENO);
    ::dup2(terminal, STDERR_FILENO);
    {
        Progress progress("uncompress", "in.Z");
        EXPECT_TRUE(progress.shown());
        progress.watchFile(growing, work);
        Progress other("ole", "doc.cfb");
        const auto first = std::chrono::steady_clock::now();
        other.update(1536, "elements");
        other.update(2048, "elements");  // too soon after the last line: not drawn (unless the machine stalled)
        tooSoon = std::chrono::steady_clock::now() - first < std::chrono::milliseconds(99);
    }
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    ::close(terminal);
    // With the terminal's last descriptor closed, the master reads what is left, then fails.
    std::string shown;
    char buffer[4096];
    for (ssize_t got; (got = ::read(master, buffer, sizeof buffer)) > 0;) shown.append(buffer, static_cast<std::size_t>(got));
    ::close(master);
    EXPECT_EQ(shown.rfind("\rvutil uncompress: in.Z: ", 0), 0u) << shown;
    EXPECT_NE(shown.find(" KiB\033[K"), std::string::npos) << shown;  // 3000 bytes and more, in KiB
    // The first line cleared, the second drawn once and cleared.
    const std::string end = "\r\033[K\rvutil ole: doc.cfb: 1536 elements\033[K\r\033[K";
    const std::string stalled = "\r\033[K\rvutil ole: doc.cfb: 1536 elements\033[K\rvutil ole: doc.cfb: 2048 elements\033[K\r\033[K";
    EXPECT_TRUE(shown.ends_with(end) || (!tooSoon && shown.ends_with(stalled))) << shown;
}

}  // namespace
}  // namespace vutil::tool
