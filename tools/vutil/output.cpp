// How the tool's commands write files, report failures and show progress.
#include "output.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>

#include "host.h"

namespace vutil::tool {
namespace {

std::string systemReason(const char *what) { return std::string(what) + ": " + host::errorText(); }

/// Writes all of `size` bytes, resuming after partial writes.
bool writeAll(int descriptor, const char *data, std::size_t size) {
    while (size > 0) {
        const long done = host::writeSome(descriptor, data, size);
        if (done <= 0) {
            return false;
        }
        data += done;
        size -= static_cast<std::size_t>(done);
    }
    return true;
}

std::string temporaryDirectory() {
    std::error_code error;
    std::string directory = std::filesystem::temp_directory_path(error).string();
    return error ? host::fallbackTemporaryDirectory() : directory;
}

int64_t nowMillis() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

int failure(std::string_view command, std::string_view file, std::string_view reason) {
    std::fprintf(stderr, "vutil %.*s: %.*s: %.*s\n", static_cast<int>(command.size()), command.data(),
                 static_cast<int>(file.size()), file.data(), static_cast<int>(reason.size()), reason.data());
    return 1;
}

OutputFile::OutputFile(std::string target) : target_(std::move(target)) {}

OutputFile::~OutputFile() {
    if (descriptor_ >= 0) {
        host::close(descriptor_);
    }
    if (!committed_ && !temporary_.empty()) {
        host::remove(temporary_);
    }
}

bool OutputFile::open(std::string &reason) {
    if (target_.empty()) {
        reason = "an empty file name";
        return false;
    }
    // Where the temporary goes: beside the regular file it will replace, or in the
    // system's temporary directory when the data is copied out instead.
    std::string directory, stem = "vutil-output";
    host::FileStatus status;
    if (!toStandardOutput() && !host::fileStatus(target_, status)) {
        reason = systemReason("cannot reach it");
        return false;
    }
    if (status.directory) {
        reason = "is a directory";
        return false;
    }
    uint32_t mode = 0;
    if (toStandardOutput() || (status.exists && !status.regular)) {
        directory = temporaryDirectory();
    } else {
        // An existing file (through a symbolic link, if the target is one) is replaced
        // where it lies and keeps its permissions.
        destination_ = status.exists ? host::resolvedName(target_) : target_;
        mode = status.exists ? status.permissions : host::creationPermissions();
        replacing_ = status.exists;
        const std::filesystem::path path(destination_);
        directory = path.has_parent_path() ? path.parent_path().string() : ".";
        stem = path.filename().string();
        stem.insert(stem.begin(), '.');  // not "." + name: g++ 12 at -O3 warns falsely of overlapping copies
    }
    std::string name = directory + "/" + stem + ".";
    descriptor_ = host::createUnique(name);
    if (descriptor_ < 0) {
        reason = systemReason(("cannot create a file in " + directory).c_str());
        return false;
    }
    temporary_ = name;
    if (!destination_.empty() && !host::setPermissions(descriptor_, mode)) {
        reason = systemReason("cannot set the permissions");
        return false;
    }
    return true;
}

const std::string &OutputFile::pathForWriter() {
    if (descriptor_ >= 0) {
        host::close(descriptor_);
        descriptor_ = -1;
    }
    return temporary_;
}

bool OutputFile::write(std::string_view data, std::string &reason) {
    if (!writeAll(descriptor_, data.data(), data.size())) {
        reason = systemReason("cannot write");
        return false;
    }
    return true;
}

bool OutputFile::commit(std::string &reason) {
    if (descriptor_ < 0 && (descriptor_ = host::reopen(temporary_)) < 0) {
        reason = systemReason("cannot write");
        return false;
    }
    if (!destination_.empty()) {
        const int descriptor = descriptor_;
        descriptor_ = -1;
        // The new text of a file that is replaced is on the disk before the rename, so that a
        // power cut leaves the old file or the new one; a file made anew has nothing to lose.
        if (!(replacing_ ? host::syncAndClose(descriptor) : host::close(descriptor))) {
            reason = systemReason("cannot write");
            return false;
        }
        if (!host::replace(temporary_, destination_)) {
            reason = systemReason("cannot put the file in place");
            return false;
        }
        committed_ = true;
        return true;
    }
    // Copy the gathered data to standard output or to the target that is not a regular file.
    const int standardOutput = toStandardOutput() ? host::standardOutput() : -1;
    const int out = toStandardOutput() ? standardOutput : host::openForWriting(target_);
    if (out < 0) {
        reason = systemReason("cannot open");
        return false;
    }
    bool written = host::rewind(descriptor_);
    char buffer[1 << 16];
    for (long got = 0; written && (got = host::readSome(descriptor_, buffer, sizeof buffer)) != 0;) {
        written = got > 0 && writeAll(out, buffer, static_cast<std::size_t>(got));
    }
    if (!written) {
        reason = systemReason("cannot write");
    }
    if (out != standardOutput && !host::close(out) && written) {
        reason = systemReason("cannot write");
        written = false;
    }
    return written;
}

ScratchFile::ScratchFile() {
    std::string name = temporaryDirectory() + "/vutil-scratch.";
    const int descriptor = host::createUnique(name);
    if (descriptor >= 0) {
        host::close(descriptor);
        path_ = name;
    }
}

ScratchFile::~ScratchFile() {
    if (!path_.empty()) {
        host::remove(path_);
    }
}

int writeOutput(std::string_view command, const std::string &target, std::string_view data) {
    OutputFile output(target);
    std::string reason;
    if (!output.open(reason) || !output.write(data, reason) || !output.commit(reason)) {
        return failure(command, target, reason);
    }
    return 0;
}

Progress::Progress(std::string_view command, std::string_view file)
    : prefix_("vutil " + std::string(command) + ": " + std::string(file) + ": "), shown_(host::standardErrorIsTerminal()) {}

Progress::~Progress() { clear(); }

void Progress::clear() {
    if (drawn_) {
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
        drawn_ = false;
    }
}

void Progress::update(uint64_t done, std::string_view unit) {
    const int64_t now = nowMillis();
    if (!shown_ || (drawn_ && now - lastMillis_ < 100)) {
        return;
    }
    lastMillis_ = now;
    drawn_ = true;
    if (unit == "bytes") {
        const char *units[] = {"bytes", "KiB", "MiB", "GiB"};
        double value = static_cast<double>(done);
        std::size_t u = 0;
        for (; value >= 1024 && u + 1 < std::size(units); ++u) {
            value /= 1024;
        }
        std::fprintf(stderr, "\r%s%.*f %s\033[K", prefix_.c_str(), u == 0 ? 0 : 1, value, units[u]);
    } else {
        std::fprintf(stderr, "\r%s%llu %.*s\033[K", prefix_.c_str(), static_cast<unsigned long long>(done),
                     static_cast<int>(unit.size()), unit.data());
    }
    std::fflush(stderr);
}

void Progress::watchFile(const std::string &path, const std::function<void()> &work) {
    if (!shown_) {
        work();
        return;
    }
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::thread worker([&] {
        work();
        std::lock_guard lock(mutex);
        done = true;
        finished.notify_one();
    });
    std::unique_lock lock(mutex);
    while (!finished.wait_for(lock, std::chrono::milliseconds(100), [&] { return done; })) {
        host::FileStatus status;
        if (host::fileStatus(path, status) && status.exists) {
            update(status.size, "bytes");
        }
    }
    lock.unlock();
    worker.join();
    clear();
}

}  // namespace vutil::tool
