// Shared set-up of the compound-document tests: the fixtures, their expected listings, the damaged variants and a
// stream table left empty after each test.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "platform/storage.h"
#include "storage/compound_document.h"
#include "support/facts.h"
#include "support/temp_dir.h"
#include "vutil/storage.h"

namespace vutil::test {

inline std::string dataPath(const std::string &name) { return std::string(VUTIL_STORAGE_TEST_DATA) + "/" + name; }

inline uint64_t fnv1a64(const std::string &bytes) {
    uint64_t hash = 0xCBF29CE484222325u;
    for (unsigned char byte : bytes) hash = (hash ^ byte) * 0x100000001B3u;
    return hash;
}

inline std::string fromHex(const std::string &hex) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return bytes;
}

/// One element as the independent reader listed it, its name in code page 1252.
struct ExpectedElement {
    bool stream;
    std::string name;
    int32_t size;
    uint64_t digest;
};

/// Each storage ("" for the root, else its backslash path) with its elements in directory order.
using Listing = std::map<std::string, std::vector<ExpectedElement>>;

/// The listings of expected.txt, by file name.
inline std::map<std::string, Listing> expectedListings() {
    std::map<std::string, Listing> files;
    std::ifstream in(dataPath("expected.txt"));
    Listing *file = nullptr;
    std::vector<ExpectedElement> *storage = nullptr;
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        std::string kind, name, hex;
        words >> kind >> name;
        if (kind == "file") {
            file = &files[name];
        } else if (kind == "storage" && line[0] != ' ') {
            storage = &(*file)[name == "/" ? "" : name];
        } else if (kind == "stream" || kind == "storage") {
            ExpectedElement &element = storage->emplace_back(ExpectedElement{kind == "stream", name, 0, 0});
            if (element.stream) words >> element.size >> std::hex >> element.digest;
            element.name = fromHex((words >> hex, hex));
        }
    }
    return files;
}

/// The damaged files of hostile.txt, by name: each a base file with the edits of its line applied.
inline std::map<std::string, std::string> hostileFiles() {
    std::map<std::string, std::string> files;
    std::ifstream in(dataPath("hostile.txt"));
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        std::string name, base, op, hex;
        if (line.empty() || line[0] == '#' || !(words >> name >> base)) continue;
        std::string bytes = TempDir::read(dataPath(base));
        for (std::size_t at = 0; words >> op >> at;) {
            const std::string patch = op == "cut" ? "" : fromHex((words >> hex, hex));
            bytes.resize(op == "cut" ? at : std::max(bytes.size(), at + patch.size()));
            bytes.replace(at, patch.size(), patch);
        }
        files[name] = bytes;
    }
    return files;
}

/// Opens a stream of a document: the handle, or 0 when the open fails (and then says so).
inline int32_t openStream(const std::string &file, const std::string &path) {
    int32_t handle = -1;
    const int32_t result = KorOleOpenStream(file.c_str(), path.c_str(), &handle);
    EXPECT_EQ(result, handle != 0 ? 1 : 0) << path;
    return handle;
}

/// The result of a listing query and the name it gave; nothing may be written beyond the room and its terminator.
inline std::pair<int32_t, std::string> query(const std::string &file, const std::string &path, int32_t index,
                                             int32_t room = 63) {
    std::string name(80, 'x');
    const int32_t result = KorOleQueryStorage(file.c_str(), path.c_str(), index, std::min(room, 63), name.data());
    EXPECT_EQ(name[std::max(std::min(room, 63), 0) + 1], 'x') << path << " " << index;
    EXPECT_TRUE(result != 0 || name[0] == 'x') << "a failed query leaves the name alone";
    return {result, result == 0 || result == -4 ? std::string("-") : name.c_str()};
}

/// Reads a whole stream through the library in pieces of `piece` bytes (0: byte by byte through the character
/// reader).
inline std::string readStream(int32_t handle, int32_t piece) {
    std::string bytes;
    std::vector<char> buffer(static_cast<std::size_t>(std::max(piece, 1)));
    for (int32_t c; piece == 0 && (c = KorOleStreamFgetc(handle)) >= 0;) bytes += static_cast<char>(c);
    for (int32_t got; piece > 0 && (got = KorOleReadStream(buffer.data(), piece, handle)) > 0;) {
        EXPECT_LE(got, piece);
        bytes.append(buffer.data(), static_cast<std::size_t>(got));
    }
    return bytes;
}

/// True while something of the library holds the document: a reader that stands alone cannot open it then.
inline bool documentHeld(const std::string &file) {
    const std::u16string name(file.begin(), file.end());
    platform::Storage *alone = nullptr;
    const int32_t status = platform::stgOpenStorage(name.c_str(), platform::kStgmShareExclusive, &alone);
    if (alone != nullptr) alone->release();
    return status == platform::stg::kShareViolation;
}

/// Leaves the stream table empty, the component services stopped and every test seam as it was.
class StorageTest : public ::testing::Test {
protected:
    void TearDown() override {
        for (int32_t handle = 1; handle <= KOR_MAX_STREAMS; ++handle) KorOleCloseStream(handle);
        // a query or a failed open kept the services
        expectFacts({FACT(platform::componentServiceUsers(), 0), FACT(storage::gBinding.users, 0)});
        platform::setStorageLibraryFault("");
        platform::failStorageOpens(0);
        storage::failListAllocationAfter(-1);
        storage::setDiagnosticSink(nullptr);
        platform::setAnsiCodePage(1252);
    }

    std::string scratch(const std::string &name, const std::string &bytes) const { return dir.write(name, bytes); }

    TempDir dir;
};

}  // namespace vutil::test
