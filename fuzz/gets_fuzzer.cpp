// Fuzz harness for KorGets over arbitrary bytes, checked line by line against a straightforward reader.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fileio/buffered_file.h"
#include "fuzz_file.h"
#include "platform/codepage.h"
#include "vutil/fileio.h"

namespace {

/// The line reader written plainly over bytes in memory: what KorGets must return.
bool referenceGets(const std::vector<uint8_t> &data, std::size_t &pos, int32_t size, std::string &line) {
    line.clear();
    int32_t i = 0;
    auto end = [&] { return pos >= data.size(); };
    while (i < size - 1) {
        if (end()) {
            return i != 0;
        }
        uint8_t c = data[pos++];
        if (vutil::platform::isLeadByte(c)) {
            if (end()) {
                return i != 0;
            }
            uint8_t trail = data[pos++];
            if (i == size - 2) {
                pos -= 2;
                return true;
            }
            line.push_back(static_cast<char>(c));
            line.push_back(static_cast<char>(trail));
            i += 2;
            continue;
        }
        if (c == '\r') {
            if (end()) {
                line.push_back('\r');
                return true;
            }
            uint8_t next = data[pos++];
            if (next == '\n') {
                line.push_back('\n');
                return true;
            }
            --pos;
            line.push_back('\r');
            ++i;
            continue;
        }
        line.push_back(static_cast<char>(c));
        ++i;
        if (c == '\n') {
            return true;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2) {
        return 0;
    }
    static const uint32_t kCodePages[] = {1252, 932, 936, 949, 950};
    vutil::platform::setAnsiCodePage(kCodePages[data[0] % 5]);
    const int32_t lineSize = 1 + data[1] % 64;
    const uint32_t mode = (data[0] & 0x80) != 0 ? KOR_OPEN_READWRITE : KOR_OPEN_READ;
    std::vector<uint8_t> bytes(data + 2, data + size);
    const std::string &path = vutil::fuzz::scratch().write(bytes.data(), bytes.size());

    // Without its buffer a file refills after every byte: every boundary case at once.
    vutil::fileio::failBufferAllocations((data[0] & 0x40) != 0 ? 1 : 0);
    int32_t handle = 0;
    if (KorOpenFile(path.c_str(), &handle, mode) != 1) {
        std::abort();
    }
    std::vector<char> line(static_cast<std::size_t>(lineSize) + 1, '\x7f');
    if (KorGets(line.data(), 0, handle) != nullptr || line[0] != '\x7f') {
        std::abort();  // no room for anything: nothing may be written
    }
    std::size_t pos = 0;
    std::string expected;
    for (std::size_t calls = 0; calls <= bytes.size() + 2; ++calls) {
        bool more = referenceGets(bytes, pos, lineSize, expected);
        char *got = KorGets(line.data(), lineSize, handle);
        if ((got != nullptr) != more || line[static_cast<std::size_t>(lineSize)] != '\x7f') {
            std::abort();
        }
        if (!more) {
            break;
        }
        // Lines may hold NUL bytes: compare the expected length and the terminator after it.
        if (std::memcmp(expected.data(), line.data(), expected.size()) != 0 || line[expected.size()] != '\0' ||
            static_cast<std::size_t>(KorTellFile(handle)) != pos) {
            std::abort();
        }
        if (lineSize == 1) {
            break;  // a line of room 1 reads nothing; the loop would not advance
        }
    }
    KorCloseFile(handle);
    vutil::platform::setAnsiCodePage(1252);
    return 0;
}
