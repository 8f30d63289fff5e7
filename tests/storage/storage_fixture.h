// Shared set-up of the compound-document tests: the fixtures, their expected listings, the damaged variants and a
// stream table left empty after each test.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "platform/storage.h"
#include "storage/compound_document.h"
#include "support/temp_dir.h"
#include "vutil/storage.h"

namespace vutil::test {

inline std::string dataPath(const std::string &name) { return std::string(VUTIL_STORAGE_TEST_DATA) + "/" + name; }

inline std::string readWhole(const std::string &path) { return TempDir::read(path); }

inline uint64_t fnv1a64(const std::string &bytes) {
    uint64_t hash = 0xCBF29CE484222325u;
    for (unsigned char byte : bytes) {
        hash = (hash ^ byte) * 0x100000001B3u;
    }
    return hash;
}

inline std::string fromHex(const std::string &hex) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

/// One element as the independent reader listed it, its name in code page 1252.
struct ExpectedElement {
    bool stream;
    std::string name;
    int32_t size;
    uint64_t digest;
};

/// Each storage of a file ("" for the root, else its backslash path) with its elements in directory order.
using ExpectedListing = std::map<std::string, std::vector<ExpectedElement>>;

/// The listings of expected.txt, by file name.
inline std::map<std::string, ExpectedListing> expectedListings() {
    std::map<std::string, ExpectedListing> files;
    std::ifstream in(dataPath("expected.txt"));
    std::string line;
    ExpectedListing *file = nullptr;
    std::vector<ExpectedElement> *storage = nullptr;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string kind, name;
        words >> kind >> name;
        if (kind == "file") {
            file = &files[name];
        } else if (kind == "storage" && line[0] != ' ') {
            storage = &(*file)[name == "/" ? "" : name];
        } else if (kind == "stream" || kind == "storage") {
            ExpectedElement element{kind == "stream", name, 0, 0};
            if (element.stream) {
                words >> element.size >> std::hex >> element.digest;
            }
            std::string hex;
            words >> hex;
            element.name = fromHex(hex);
            storage->push_back(element);
        }
    }
    return files;
}

/// A damaged file made from its line of hostile.txt: the base file with the edits applied.
inline std::map<std::string, std::string> hostileFiles() {
    std::map<std::string, std::string> files;
    std::ifstream in(dataPath("hostile.txt"));
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        std::istringstream words(line);
        std::string name, base, op;
        words >> name >> base;
        std::string bytes = readWhole(dataPath(base));
        while (words >> op) {
            std::size_t at = 0;
            words >> at;
            if (op == "cut") {
                bytes.resize(at);
                continue;
            }
            std::string hex;
            words >> hex;
            const std::string patch = fromHex(hex);
            if (at + patch.size() > bytes.size()) {
                bytes.resize(at + patch.size());
            }
            bytes.replace(at, patch.size(), patch);
        }
        files[name] = bytes;
    }
    return files;
}

/// Reads a whole stream through the library in pieces of `piece` bytes (0: byte by byte through the character
/// reader); the bytes, and the reading position left at the stream's size.
inline std::string readStream(int32_t handle, int32_t piece) {
    std::string bytes;
    if (piece == 0) {
        for (int32_t c; (c = KorOleStreamFgetc(handle)) >= 0;) {
            bytes.push_back(static_cast<char>(c));
        }
        return bytes;
    }
    std::vector<char> buffer(static_cast<std::size_t>(piece));
    for (int32_t got; (got = KorOleReadStream(buffer.data(), piece, handle)) > 0;) {
        EXPECT_LE(got, piece);
        bytes.append(buffer.data(), static_cast<std::size_t>(got));
    }
    return bytes;
}

/// Leaves the stream table empty, the component services stopped and every test seam as it was.
class StorageTest : public ::testing::Test {
protected:
    void TearDown() override {
        for (int32_t handle = 1; handle <= KOR_MAX_STREAMS; ++handle) {
            KorOleCloseStream(handle);
        }
        EXPECT_EQ(platform::componentServiceUsers(), 0) << "a query or a failed open kept the services";
        EXPECT_EQ(storage::gBinding.users, 0);
        platform::setStorageLibraryFault("");
        platform::failStorageOpens(0);
        storage::failListAllocationAfter(-1);
        storage::setDiagnosticSink(nullptr);
        platform::setAnsiCodePage(1252);
    }

    /// Writes bytes to a scratch file and returns its path.
    std::string scratch(const std::string &name, const std::string &bytes) const { return dir.write(name, bytes); }

    TempDir dir;
};

}  // namespace vutil::test
