// Compound files read from their on-disk form: the header, the sector tables, the directory tree, and where the
// bytes of each stream lie. Every walk is bounded by the file's real size, so damaged files cannot make it loop,
// recurse or allocate without end.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "platform/file.h"
#include "platform/storage.h"

namespace vutil::platform::cfb {

inline constexpr uint32_t kMaxRegularSector = 0xFFFFFFFA;
inline constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
inline constexpr uint32_t kFreeSector = 0xFFFFFFFF;
inline constexpr uint32_t kNoStream = 0xFFFFFFFF;
inline constexpr uint32_t kHeaderSize = 512;
inline constexpr uint32_t kEntrySize = 128;
inline constexpr uint32_t kMiniSectorShift = 6;
inline constexpr uint32_t kMiniStreamCutoff = 4096;
inline constexpr uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

/// Object types of directory entries.
inline constexpr uint8_t kUnallocated = 0;
inline constexpr uint8_t kStorageObject = 1;
inline constexpr uint8_t kStreamObject = 2;
inline constexpr uint8_t kRootObject = 5;

/// One directory entry as the file gives it, with what the tree walk found out about it.
struct Entry {
    char16_t name[kMaxNameLength + 1];  ///< terminated; empty when the name field is not valid
    uint8_t type;
    bool nameValid;  ///< the length field is even, 2..64, and counts the name's terminator
    bool listable;   ///< a storage whose elements form a sound tree
    uint32_t left;
    uint32_t right;
    uint32_t child;
    uint32_t start;
    uint64_t size;  ///< in a version-3 file only the low 32 bits, as older writers left the rest undefined
    uint32_t firstElement;  ///< a listable storage's elements: elements_[firstElement ..+ elementCount]
    uint32_t elementCount;
};

/// An open compound file. Shared by every storage, stream and enumerator opened from it; closed with the last.
class CompoundFile {
public:
    /// Opens the file (a path in the library's notation) with that sharing and reads its structure. stg::kOk with
    /// the file; stg::kFileAlreadyExists when it is not a compound file; stg::kInvalidHeader, stg::kDocfileCorrupt
    /// for a damaged one; stg::kShareViolation when it cannot be opened; stg::kInsufficientMemory.
    static int32_t open(std::string_view path, FileSharing sharing, std::shared_ptr<CompoundFile> &out) noexcept;
    ~CompoundFile();
    CompoundFile(const CompoundFile &) = delete;
    CompoundFile &operator=(const CompoundFile &) = delete;

    uint32_t entryCount() const noexcept { return static_cast<uint32_t>(entries_.size()); }
    const Entry &entry(uint32_t id) const noexcept { return entries_[id]; }
    /// The elements of a listable storage in the order of its tree.
    std::span<const uint32_t> elements(uint32_t storage) const noexcept {
        const Entry &e = entries_[storage];
        return {elements_.data() + e.firstElement, e.elementCount};
    }
    /// Where the bytes of a stream lie, adjacent runs merged. stg::kOk, or stg::kDocfileCorrupt when its chain
    /// ends early, loops, leaves the tables or the file, or the stream is larger than the file.
    int32_t extents(uint32_t stream, std::vector<Extent> &out) const;
    /// Reads exactly `count` bytes at a file offset; false when the host cannot deliver them.
    bool readAt(uint64_t offset, void *destination, uint32_t count) noexcept;

private:
    explicit CompoundFile(int32_t file) noexcept : file_(file) {}
    int32_t load();
    int32_t loadAllocationTable(std::span<const uint8_t> header);
    int32_t loadDirectory(uint32_t first);
    void loadMiniStream(uint32_t firstMiniFatSector);
    void buildTrees();
    /// Follows a chain of the sector table from `start` to its end; false when it leaves the file or loops.
    bool followChain(uint32_t start, std::vector<uint32_t> &sectors) const;
    /// Follows a chain over the sectors that `size` bytes of data take, each holding its bytes in the file, and
    /// hands each to take(offset in the data, sector, bytes); false when the chain ends early, loops or leaves
    /// the table or the file.
    template <typename Take>
    bool walkData(uint32_t start, uint64_t size, Take take) const;
    /// Reads whole sectors into consecutive places of `destination`, runs of adjacent sectors in one host read.
    bool readSectors(std::span<const uint32_t> sectors, uint8_t *destination);
    uint64_t sectorOffset(uint32_t sector) const noexcept { return (uint64_t{sector} + 1) << sectorShift_; }
    uint32_t sectorSize() const noexcept { return uint32_t{1} << sectorShift_; }

    int32_t file_;
    int64_t filePosition_ = -1;  ///< where the host file stands, -1 when not known
    uint64_t fileSize_ = 0;
    uint32_t version_ = 0;
    uint32_t sectorShift_ = 0;
    uint32_t fullSectors_ = 0;  ///< sectors that lie wholly in the file
    uint32_t dataSectors_ = 0;  ///< sectors that begin in the file (the last may be cut short)
    std::vector<uint32_t> fat_;
    std::vector<uint32_t> miniFat_;
    std::vector<uint32_t> miniStreamSectors_;
    uint64_t miniStreamSize_ = 0;
    bool miniStreamSound_ = false;
    std::vector<Entry> entries_;
    std::vector<uint32_t> elements_;
};

}  // namespace vutil::platform::cfb
