// Decompressing a .Z file into another file through the library's buffered files.
#include "raster/lzw_file.h"

#include "raster/lzw.h"
#include "vutil/fileio.h"

namespace vutil::raster {
namespace {

/// The input: the header byte by byte, then one group per read.
class FileSource final : public LzwSource {
public:
    explicit FileSource(int32_t handle) noexcept : handle_(handle) {}
    int32_t getByte() noexcept override { return KorGetc(handle_); }
    int32_t read(std::span<uint8_t> group) noexcept override {
        return KorReadFile(group.data(), static_cast<int32_t>(group.size()), handle_);
    }

private:
    int32_t handle_;
};

/// The output. The decoder hands over large chunks, which the buffered file
/// writes straight through; write errors are not reported, as the count of
/// bytes produced does not depend on them.
class FileSink final : public LzwSink {
public:
    explicit FileSink(int32_t handle) noexcept : handle_(handle) {}
    void write(std::span<const uint8_t> bytes) noexcept override {
        KorWriteFile(bytes.data(), static_cast<int32_t>(bytes.size()), handle_);
    }

private:
    int32_t handle_;
};

}  // namespace

int32_t decompressFile(const char *input, const char *output, int32_t maxBytes) noexcept {
    int32_t in = 0;
    if (KorOpenFile(input, &in, KOR_OPEN_READ) == 0) {
        return 0;
    }
    // An output that cannot be opened is no error: the open leaves handle 0
    // and the call then only counts.
    int32_t out = 0;
    if (output != nullptr && output[0] != '\0') {
        KorOpenFile(output, &out, KOR_OPEN_CREATE | KOR_OPEN_WRITE);
    }
    FileSource source(in);
    FileSink sink(out);
    const int32_t count = lzwDecode(source, out != 0 ? &sink : nullptr, maxBytes);
    if (out != 0) {
        KorCloseFile(out);
    }
    KorCloseFile(in);
    return count;
}

}  // namespace vutil::raster
