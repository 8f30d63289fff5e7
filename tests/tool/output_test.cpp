// Tests of the tool's output files (written beside the target, renamed on success) and progress line.
#include "output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
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
    for (const auto &entry : fs::directory_iterator(directory)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

mode_t permissions(const std::string &path) {
    struct stat status {};
    EXPECT_EQ(::stat(path.c_str(), &status), 0);
    return status.st_mode & 07777;
}

/// Points one of the process's descriptors at another file for the length of a scope.
class Redirect {
public:
    Redirect(int which, int to) : which_(which), saved_(::dup(which)) { ::dup2(to, which); }
    ~Redirect() {
        ::dup2(saved_, which_);
        ::close(saved_);
    }

private:
    int which_, saved_;
};

/// A pseudo-terminal whose other end collects what is written to it.
class Terminal {
public:
    Terminal() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0) {
            slave_ = ::open(::ptsname(master_), O_RDWR | O_NOCTTY);
            ::fcntl(master_, F_SETFL, O_NONBLOCK);
        }
    }
    ~Terminal() {
        ::close(slave_);
        ::close(master_);
    }
    int descriptor() const { return slave_; }
    /// Everything written to the terminal so far.
    std::string drain() const {
        std::string shown;
        char buffer[4096];
        for (ssize_t got; (got = ::read(master_, buffer, sizeof buffer)) > 0;) {
            shown.append(buffer, static_cast<std::size_t>(got));
        }
        return shown;
    }

private:
    int master_ = -1, slave_ = -1;
};

TEST(OutputFile, CommitPutsTheDataInPlaceAndLeavesNothingElse) {
    TempDir dir;
    const std::string target = dir.file("out.bin");
    OutputFile output(target);
    std::string reason;
    ASSERT_TRUE(output.open(reason)) << reason;
    EXPECT_EQ(fs::path(output.path()).parent_path(), dir.path());  // beside the target, so the rename stays on one file system
    EXPECT_FALSE(fs::exists(target));                             // nothing there until the commit
    ASSERT_TRUE(output.write("first ", reason));
    ASSERT_TRUE(output.write("second", reason));
    ASSERT_TRUE(output.commit(reason)) << reason;
    EXPECT_EQ(TempDir::read(target), "first second");
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"out.bin"});
}

TEST(OutputFile, UncommittedOutputLeavesTheTargetAsItWas) {
    TempDir dir;
    const std::string target = dir.write("existing.txt", "keep me");
    {
        OutputFile output(target);
        std::string reason;
        ASSERT_TRUE(output.open(reason));
        ASSERT_TRUE(output.write("half-made", reason));
        EXPECT_TRUE(fs::exists(output.path()));
    }
    EXPECT_EQ(TempDir::read(target), "keep me");
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"existing.txt"});
}

TEST(OutputFile, DataWrittenByNameIsWhatTheCommitPlaces) {
    // Library calls such as KOR_decompress open the temporary by name and truncate it.
    TempDir dir;
    const std::string target = dir.write("out.txt", "old contents, longer than the new");
    OutputFile output(target);
    std::string reason;
    ASSERT_TRUE(output.open(reason));
    std::ofstream(output.path(), std::ios::binary | std::ios::trunc) << "new";
    ASSERT_TRUE(output.commit(reason)) << reason;
    EXPECT_EQ(TempDir::read(target), "new");
}

TEST(OutputFile, PermissionsOfAReplacedFileAreKeptAndNewFilesFollowTheUmask) {
    TempDir dir;
    const std::string existing = dir.write("existing", "x");
    ASSERT_EQ(::chmod(existing.c_str(), 0640), 0);
    const mode_t saved = ::umask(027);
    EXPECT_EQ(writeOutput("test", existing, "y"), 0);
    EXPECT_EQ(writeOutput("test", dir.file("fresh"), "z"), 0);
    ::umask(saved);
    EXPECT_EQ(permissions(existing), 0640u);
    EXPECT_EQ(permissions(dir.file("fresh")), 0640u);  // 0666 less the umask 027
    EXPECT_EQ(TempDir::read(existing), "y");
}

TEST(OutputFile, ASymbolicLinkKeepsPointingAtTheFileThatGetsTheData) {
    TempDir dir;
    fs::create_directory(dir.path() / "real");
    const std::string file = dir.write("real/data", "old");
    fs::create_symlink(file, dir.path() / "link");
    EXPECT_EQ(writeOutput("test", dir.file("link"), "new"), 0);
    EXPECT_TRUE(fs::is_symlink(dir.path() / "link"));
    EXPECT_EQ(TempDir::read(file), "new");
    EXPECT_EQ(namesIn(dir.path() / "real"), std::vector<std::string>{"data"});
}

TEST(OutputFile, TargetsThatCannotBeWrittenAreRefusedWithAReason) {
    TempDir dir;
    fs::create_directory(dir.path() / "sub");
    dir.write("plain", "p");
    const struct {
        std::string target;
        const char *reason;
    } cases[] = {
        {dir.file("sub"), "is a directory"},
        {dir.file("missing/out"), "cannot create a file in"},
        {dir.file("plain/out"), "cannot reach it: Not a directory"},
        {"", "an empty file name"},
    };
    for (const auto &c : cases) {
        OutputFile output(c.target);
        std::string reason;
        EXPECT_FALSE(output.open(reason)) << c.target;
        EXPECT_NE(reason.find(c.reason), std::string::npos) << c.target << ": " << reason;
    }
    EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{"plain", "sub"}));
    EXPECT_TRUE(fs::is_empty(dir.path() / "sub"));
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

TEST(OutputFile, DashIsStandardOutputAndGetsNothingUnlessCommitted) {
    TempDir dir;
    const std::string captured = dir.file("stdout");
    const int file = ::open(captured.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(file, 0);
    {
        Redirect redirect(STDOUT_FILENO, file);
        {
            OutputFile abandoned("-");
            std::string reason;
            ASSERT_TRUE(abandoned.open(reason));
            ASSERT_TRUE(abandoned.write("lost", reason));
            EXPECT_TRUE(abandoned.toStandardOutput());
        }
        EXPECT_EQ(writeOutput("test", "-", "on standard output"), 0);
    }
    ::close(file);
    EXPECT_EQ(TempDir::read(captured), "on standard output");
}

TEST(Failure, NamesTheCommandTheFileAndTheReason) {
    TempDir dir;
    const std::string captured = dir.file("stderr");
    const int file = ::open(captured.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(file, 0);
    int status = 0;
    {
        Redirect redirect(STDERR_FILENO, file);
        status = failure("uncompress", "in.Z", "not a .Z file");
    }
    ::close(file);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(TempDir::read(captured), "vutil uncompress: in.Z: not a .Z file\n");
}

TEST(Progress, ShownOnATerminalOnlyAndClearedAtTheEnd) {
    TempDir dir;
    const std::string growing = dir.file("growing");
    auto work = [&] {
        std::ofstream out(growing, std::ios::binary);
        for (int i = 0; i < 5; ++i) {
            out << std::string(3000, 'x') << std::flush;
            std::this_thread::sleep_for(std::chrono::milliseconds(60));
        }
    };
    {
        Progress quiet("uncompress", "in.Z");  // standard error of the test is no terminal
        EXPECT_FALSE(quiet.shown());
        quiet.watchFile(growing, work);
        EXPECT_EQ(fs::file_size(growing), 15000u);  // the work ran all the same
    }

    Terminal terminal;
    ASSERT_GE(terminal.descriptor(), 0);
    {
        Redirect redirect(STDERR_FILENO, terminal.descriptor());
        Progress progress("uncompress", "in.Z");
        EXPECT_TRUE(progress.shown());
        progress.watchFile(growing, work);
    }
    const std::string shown = terminal.drain();
    EXPECT_EQ(shown.rfind("\rvutil uncompress: in.Z: ", 0), 0u) << shown;
    EXPECT_NE(shown.find(" KiB\033[K"), std::string::npos) << shown;  // 3000 bytes and more, in KiB
    EXPECT_EQ(shown.substr(shown.size() - 4), "\r\033[K");
}

TEST(Progress, CountsOtherThanBytesAreShownAsTheyAre) {
    Terminal terminal;
    ASSERT_GE(terminal.descriptor(), 0);
    {
        Redirect redirect(STDERR_FILENO, terminal.descriptor());
        Progress progress("ole", "doc.cfb");
        progress.update(1536, "elements");
        progress.update(2048, "elements");  // too soon after the last line: not drawn
    }
    EXPECT_EQ(terminal.drain(), "\rvutil ole: doc.cfb: 1536 elements\033[K\r\033[K");
}

}  // namespace
}  // namespace vutil::tool
