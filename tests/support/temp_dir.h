// A scratch directory for tests, removed with everything in it at the end of its scope.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace vutil::test {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::filesystem::path &path() const { return path_; }
    /// Host path of a file in the directory.
    std::string file(std::string_view name) const { return (path_ / name).string(); }
    /// Writes bytes to a file in the directory and returns its host path.
    std::string write(std::string_view name, std::string_view bytes) const;
    /// Reads a whole file.
    static std::string read(const std::string &path);

private:
    std::filesystem::path path_;
};

}  // namespace vutil::test
