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
    auto work = [&] {
        std::ofstream out(growing, std::ios::binary);
        for (int i = 0; i < 5; ++i) {
            out << std::string(3000, 'x') << std::flush;
            std::this_thread::sleep_for(std::chrono::milliseconds(60));
        }
    };
    EXPECT_FALSE(Progress("uncompress", "in.Z").shown());  // the test's standard error is no terminal
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
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
        other.update(1536, "elements");
        other.update(2048, "elements");  // too soon after the last line: not drawn
    }
    ::dup2(saved, STDERR_FILENO);
    // The terminal hands on what was written in pieces, not always at once.
    std::string shown;
    char buffer[4096];
    pollfd ready{master, POLLIN, 0};
    for (ssize_t got = 1; got > 0 && ::poll(&ready, 1, 300) == 1;) {
        got = ::read(master, buffer, sizeof buffer);
        shown.append(buffer, static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
    }
    ::close(saved);
    ::close(terminal);
    ::close(master);
    EXPECT_EQ(shown.rfind("\rvutil uncompress: in.Z: ", 0), 0u) << shown;
    EXPECT_NE(shown.find(" KiB\033[K"), std::string::npos) << shown;  // 3000 bytes and more, in KiB
    // The first line cleared, the second drawn once and cleared.
    const std::string end = "\r\033[K\rvutil ole: doc.cfb: 1536 elements\033[K\r\033[K";
    EXPECT_EQ(shown.find(end), shown.size() - end.size()) << shown;
}

}  // namespace
}  // namespace vutil::tool
