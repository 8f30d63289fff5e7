// How the tool's commands write files, report failures and show progress.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace vutil::tool {

/// The file name that stands for standard output where a command writes one file.
inline constexpr std::string_view kStandardOutput = "-";

/// Reports "vutil COMMAND: FILE: reason" on standard error and returns the exit code 1.
int failure(std::string_view command, std::string_view file, std::string_view reason);

/// One output file of a command. The data goes to a temporary file beside the target
/// and commit() renames it over the target, so a command that fails (or is stopped)
/// leaves whatever was there untouched; an uncommitted temporary is removed when the
/// object goes away. The target "-" is standard output, and a target that is not a
/// regular file (a terminal, a pipe, /dev/null) cannot be replaced by a rename: for
/// those the data is gathered in a temporary of the system's temporary directory and
/// copied out on commit, so a failed command writes nothing there either.
class OutputFile {
public:
    explicit OutputFile(std::string target);
    ~OutputFile();
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

    /// Creates the temporary; false with the reason when it cannot be made.
    bool open(std::string &reason);
    /// The temporary's name.
    const std::string &path() const { return temporary_; }
    /// The temporary's name for a library call that writes the file by name: the object lets go
    /// of its own descriptor first, since a writer may ask for the file to itself (Windows writers
    /// do), and takes the file up again on commit.
    const std::string &pathForWriter();
    const std::string &target() const { return target_; }
    bool toStandardOutput() const { return target_ == kStandardOutput; }
    /// Appends bytes to the temporary.
    bool write(std::string_view data, std::string &reason);
    /// Puts the finished data in place: the rename, or the copy to standard output or
    /// to a target that is not a regular file.
    bool commit(std::string &reason);

private:
    std::string target_;
    std::string destination_;  ///< the regular file that the rename replaces, if any
    std::string temporary_;
    int descriptor_ = -1;
    bool replacing_ = false;    ///< an existing file is replaced: its new text reaches the disk first
    bool committed_ = false;
};

/// An empty file of the system's temporary directory, for data a command passes from
/// one library call to the next; it is removed when the object goes away.
class ScratchFile {
public:
    ScratchFile();
    ~ScratchFile();
    ScratchFile(const ScratchFile &) = delete;
    ScratchFile &operator=(const ScratchFile &) = delete;
    /// Empty when no file could be made.
    const std::string &path() const { return path_; }

private:
    std::string path_;
};

/// Writes `data` to `target` ("-" for standard output) through an OutputFile; reports a
/// failure as `command` and returns 0 or 1.
int writeOutput(std::string_view command, const std::string &target, std::string_view data);

/// Progress of long work on standard error, shown only when standard error is a
/// terminal, at most ten times a second, on one line that is cleared at the end.
class Progress {
public:
    Progress(std::string_view command, std::string_view file);
    ~Progress();
    Progress(const Progress &) = delete;
    Progress &operator=(const Progress &) = delete;

    bool shown() const { return shown_; }
    /// Shows `done` units of work (bytes are shown in KiB/MiB/GiB when `unit` is "bytes").
    void update(uint64_t done, std::string_view unit);
    /// Runs `work` while showing the growth of the file `path` that it writes; the line
    /// is gone when it returns.
    void watchFile(const std::string &path, const std::function<void()> &work);
    /// Takes the progress line off the terminal (before printing results, for instance).
    void clear();

private:
    std::string prefix_;
    bool shown_;
    bool drawn_ = false;
    int64_t lastMillis_ = 0;
};

}  // namespace vutil::tool
