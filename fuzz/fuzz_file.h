// A scratch file for the file fuzz harnesses: one per process, removed at exit.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

namespace vutil::fuzz {

class ScratchFile {
public:
    ScratchFile()
        : path_((std::filesystem::temp_directory_path() /
                 ("vutil-fuzz-" + std::to_string(std::random_device{}()) + ".bin"))
                    .string()) {}
    ~ScratchFile() {
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
        std::filesystem::remove(path_ + ".out", ignored);
    }

    /// Replaces the file's content and returns its path.
    const std::string &write(const uint8_t *data, std::size_t size) {
        std::FILE *file = std::fopen(path_.c_str(), "wb");
        if (file != nullptr) {
            if (size > 0) {
                std::fwrite(data, 1, size, file);
            }
            std::fclose(file);
        }
        return path_;
    }

    std::string outputPath() const { return path_ + ".out"; }

private:
    std::string path_;
};

inline ScratchFile &scratch() {
    static ScratchFile file;
    return file;
}

}  // namespace vutil::fuzz
