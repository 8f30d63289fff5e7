// Fuzz harness for compound documents: any file must open or be refused without fault; every storage it holds is
// listed and every stream read, and a stream must give the same bytes whether read whole, in pieces, byte by byte
// or after a seek. The stream services run over the same file.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_file.h"
#include "platform/storage.h"
#include "storage/compound_document.h"
#include "tests/storage/walk_document.h"
#include "vutil/storage.h"

namespace {

namespace pf = vutil::platform;

/// Bounds the work one input can ask for: every element is opened at most once, but a small file can name its
/// largest stream many times.
constexpr int kMaxObjects = 2000;

std::string readAll(pf::Stream *stream, uint32_t piece) {
    std::string bytes;
    std::vector<char> buffer(piece);
    uint32_t got = 0;
    while (stream->read(buffer.data(), piece, &got) == pf::stg::kOk && got > 0) {
        bytes.append(buffer.data(), got);
    }
    return bytes;
}

void checkStream(pf::Stream *stream) {
    const std::string whole = readAll(stream, 1 << 20);
    if (whole.size() != stream->size()) {
        std::abort();  // a stream that opens holds all its bytes
    }
    for (uint32_t piece : {1u, 61u, 4096u}) {
        stream->seek(0, pf::StreamOrigin::Set, nullptr);
        if (readAll(stream, piece) != whole) {
            std::abort();
        }
    }
    const uint64_t middle = whole.size() / 3;
    stream->seek(static_cast<int64_t>(middle), pf::StreamOrigin::Set, nullptr);
    if (readAll(stream, 100) != whole.substr(middle)) {
        std::abort();
    }
}

void readDocument(const std::string &path) {
    const std::u16string name(path.begin(), path.end());
    pf::Storage *root = nullptr;
    if (pf::stgOpenStorage(name.c_str(), vutil::storage::kDocumentMode, &root) == pf::stg::kOk) {
        vutil::test::walkDocument(root, kMaxObjects, checkStream);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string &path = vutil::fuzz::scratch().write(data, size);
    readDocument(path);

    // The stream services: the first storage's elements, and the first stream of the root read two ways.
    char name[64];
    for (int32_t index = -1; index < 4; ++index) {
        KorOleQueryStorage(path.c_str(), "", index, static_cast<int32_t>(sizeof name) - 1, name);
    }
    int32_t handle = 0;
    if (KorOleOpenStream(path.c_str(), "", &handle) == 1) {
        std::string pieces(static_cast<std::size_t>(KorOleStreamSize(handle)), '\0');
        if (!pieces.empty() && KorOleReadStream(pieces.data(), static_cast<int32_t>(pieces.size()), handle) !=
                                   static_cast<int32_t>(pieces.size())) {
            std::abort();
        }
        KorOleSeekStream(handle, 0, 0);
        for (char expected : pieces) {
            if (KorOleStreamFgetc(handle) != static_cast<uint8_t>(expected)) {
                std::abort();
            }
        }
        if (KorOleStreamFgetc(handle) != -1 || KorOleCloseStream(handle) != 1) {
            std::abort();
        }
    }
    return 0;
}
