// A small writer of version-3 compound files, for documents too large to commit: the benchmark's 50 MiB document
// and the tests' trees and paths deeper than any stack.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace vutil::test {

/// One directory entry as written: entry 0 is the root. Links are entry numbers, or kNoLink.
struct WrittenEntry {
    static constexpr uint32_t kNoLink = 0xFFFFFFFF;
    std::string name;  ///< ASCII
    uint8_t type;      ///< 1 storage, 2 stream, 5 root
    uint32_t left = kNoLink;
    uint32_t right = kNoLink;
    uint32_t child = kNoLink;
    std::string data = {};  ///< a stream's bytes
};

inline void put32(std::string &bytes, std::size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<char>(value >> (8 * i));
    }
}

/// The file: streams of 4096 bytes and more in chains of 512-byte sectors, smaller ones in the mini stream, the
/// sector table continued in DIFAT sectors when the header's 109 entries do not list it all.
inline std::string writeCompoundFile(std::vector<WrittenEntry> entries) {
    constexpr uint32_t kSector = 512, kPerSector = kSector / 4, kEnd = 0xFFFFFFFE, kFree = 0xFFFFFFFF;
    std::string body;  // the sectors after the header
    std::vector<uint32_t> fat;
    auto chain = [&](const std::string &data) -> uint32_t {
        if (data.empty()) {
            return kEnd;
        }
        const auto first = static_cast<uint32_t>(fat.size());
        const auto count = static_cast<uint32_t>((data.size() + kSector - 1) / kSector);
        for (uint32_t i = 0; i < count; ++i) {
            fat.push_back(i + 1 < count ? first + i + 1 : kEnd);
        }
        body += data;
        body.resize(fat.size() * kSector, '\0');
        return first;
    };
    std::vector<uint32_t> starts(entries.size(), kEnd);
    std::string mini, miniTable;
    for (std::size_t i = 1; i < entries.size(); ++i) {
        const std::string &data = entries[i].data;
        if (data.size() >= 4096) {
            starts[i] = chain(data);
        } else if (!data.empty()) {
            starts[i] = static_cast<uint32_t>(mini.size() / 64);
            const auto count = static_cast<uint32_t>((data.size() + 63) / 64);
            for (uint32_t k = 0; k < count; ++k) {
                miniTable.resize(miniTable.size() + 4);
                put32(miniTable, miniTable.size() - 4, k + 1 < count ? starts[i] + k + 1 : kEnd);
            }
            mini += data;
            mini.resize(mini.size() + (64 - mini.size() % 64) % 64, '\0');
        }
    }
    starts[0] = chain(mini);
    miniTable.resize((miniTable.size() + kSector - 1) / kSector * kSector, '\xFF');
    const uint32_t miniTableStart = chain(miniTable);
    std::string directory((entries.size() + 3) / 4 * kSector, '\0');
    for (std::size_t id = 0; id < directory.size() / 128; ++id) {
        const WrittenEntry blank{"", 0};
        const WrittenEntry &entry = id < entries.size() ? entries[id] : blank;
        const std::size_t at = id * 128;
        for (std::size_t c = 0; c < entry.name.size(); ++c) {
            directory[at + 2 * c] = entry.name[c];
        }
        directory[at + 64] = static_cast<char>(entry.type != 0 ? 2 * (entry.name.size() + 1) : 0);
        directory[at + 66] = static_cast<char>(entry.type);
        directory[at + 67] = 1;
        put32(directory, at + 68, entry.left);
        put32(directory, at + 72, entry.right);
        put32(directory, at + 76, entry.child);
        put32(directory, at + 116, id < entries.size() ? starts[id] : kEnd);
        put32(directory, at + 120, id == 0 ? static_cast<uint32_t>(mini.size()) : static_cast<uint32_t>(entry.data.size()));
    }
    const uint32_t directoryStart = chain(directory);
    // The table covers itself and the DIFAT sectors that list it beyond the header's entries.
    uint32_t tableSectors = 0, difatSectors = 0;
    for (;;) {
        const auto total = static_cast<uint32_t>(fat.size()) + tableSectors + difatSectors;
        const uint32_t needTable = (total + kPerSector - 1) / kPerSector;
        const uint32_t needDifat = needTable > 109 ? (needTable - 109 + kPerSector - 2) / (kPerSector - 1) : 0;
        if (needTable == tableSectors && needDifat == difatSectors) {
            break;
        }
        tableSectors = needTable;
        difatSectors = needDifat;
    }
    const auto tableStart = static_cast<uint32_t>(fat.size());
    const uint32_t difatStart = tableStart + tableSectors;
    fat.resize(difatStart, 0xFFFFFFFD);
    fat.resize(difatStart + difatSectors, 0xFFFFFFFC);
    fat.resize(std::size_t{tableSectors} * kPerSector, kFree);
    std::string table(fat.size() * 4, '\0');
    for (std::size_t i = 0; i < fat.size(); ++i) {
        put32(table, 4 * i, fat[i]);
    }
    body += table;
    std::string difat(std::size_t{difatSectors} * kSector, '\xFF');
    for (uint32_t k = 109; k < tableSectors; ++k) {
        const uint32_t sector = (k - 109) / (kPerSector - 1), slot = (k - 109) % (kPerSector - 1);
        put32(difat, sector * kSector + 4 * slot, tableStart + k);
    }
    for (uint32_t d = 0; d < difatSectors; ++d) {
        put32(difat, d * kSector + kSector - 4, d + 1 < difatSectors ? difatStart + d + 1 : kEnd);
    }
    body += difat;
    std::string header(kSector, '\0');
    std::memcpy(header.data(), "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
    header[24] = 0x3E;
    header[26] = 3;
    header[28] = '\xFE';
    header[29] = '\xFF';
    header[30] = 9;
    header[32] = 6;
    put32(header, 44, tableSectors);
    put32(header, 48, directoryStart);
    put32(header, 56, 4096);
    put32(header, 60, miniTableStart);
    put32(header, 64, static_cast<uint32_t>(miniTable.size() / kSector));
    put32(header, 68, difatSectors != 0 ? difatStart : kEnd);
    put32(header, 72, difatSectors);
    for (uint32_t k = 0; k < 109; ++k) {
        put32(header, 76 + 4 * k, k < tableSectors ? tableStart + k : kFree);
    }
    return header + body;
}

}  // namespace vutil::test
