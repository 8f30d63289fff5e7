// Compound files read from their on-disk form.
#include "platform/compound_file.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace vutil::platform::cfb {
namespace {

uint16_t le16(const uint8_t *p) noexcept { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

uint32_t le32(const uint8_t *p) noexcept {
    return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

uint64_t le64(const uint8_t *p) noexcept { return le32(p) | (uint64_t{le32(p + 4)} << 32); }

/// Header fields, by their byte offsets.
enum HeaderField : uint32_t {
    kMajorVersion = 26,
    kByteOrder = 28,
    kSectorShift = 30,
    kMiniSectorShiftField = 32,
    kFatSectorCount = 44,
    kFirstDirectorySector = 48,
    kMiniStreamCutoffField = 56,
    kFirstMiniFatSector = 60,
    kFirstDifatSector = 68,
    kHeaderDifat = 76,
};
inline constexpr uint32_t kHeaderDifatEntries = 109;

/// Directory entry fields, by their byte offsets.
enum EntryField : uint32_t {
    kNameLength = 64,
    kObjectType = 66,
    kLeftSibling = 68,
    kRightSibling = 72,
    kChild = 76,
    kStartSector = 116,
    kStreamSize = 120,
};

/// Decodes the name field: valid when its length counts a terminator that is really there.
void decodeName(const uint8_t *field, Entry &entry) noexcept {
    const uint16_t bytes = le16(field + kNameLength);
    entry.nameValid = bytes % 2 == 0 && bytes >= 2 && bytes <= 2 * (kMaxNameLength + 1) && le16(field + bytes - 2) == 0;
    std::size_t length = 0;
    if (entry.nameValid) {
        while (length + 1 < bytes / 2u && le16(field + 2 * length) != 0) {
            entry.name[length] = static_cast<char16_t>(le16(field + 2 * length));
            ++length;
        }
    }
    entry.name[length] = u'\0';
}

/// Appends a run of file bytes to a stream's extents, joining it to the last run when they touch.
void appendRun(std::vector<Extent> &extents, uint64_t streamOffset, uint64_t fileOffset, uint32_t length) {
    if (!extents.empty()) {
        Extent &last = extents.back();
        if (last.fileOffset + last.length == fileOffset && last.length <= UINT32_MAX - length) {
            last.length += length;
            return;
        }
    }
    extents.push_back({streamOffset, fileOffset, length});
}

}  // namespace

CompoundFile::~CompoundFile() { closeFile(file_); }

int32_t CompoundFile::open(std::string_view path, FileSharing sharing, std::shared_ptr<CompoundFile> &out) noexcept {
    out.reset();
    const int32_t file = openFile(path, FileAccess::Read, sharing);
    if (file < 0) {
        return stg::kShareViolation;
    }
    try {
        std::shared_ptr<CompoundFile> compound(new CompoundFile(file));
        const int32_t status = compound->load();
        if (status == stg::kOk) {
            out = std::move(compound);
        }
        return status;
    } catch (const std::bad_alloc &) {
        return stg::kInsufficientMemory;
    }
}

bool CompoundFile::readAt(uint64_t offset, void *destination, uint32_t count) noexcept {
    // Bytes beyond the end of the file come as a short read, which fails below.
    if (filePosition_ != static_cast<int64_t>(offset)) {
        if (seekFile(file_, static_cast<int64_t>(offset), SeekOrigin::Start) < 0) {
            filePosition_ = -1;
            return false;
        }
    }
    auto *bytes = static_cast<uint8_t *>(destination);
    uint32_t done = 0;
    while (done < count) {
        const int32_t got = readFile(file_, bytes + done, static_cast<int32_t>(std::min<uint32_t>(count - done, INT32_MAX)));
        if (got <= 0) {
            filePosition_ = -1;
            return false;
        }
        done += static_cast<uint32_t>(got);
    }
    filePosition_ = static_cast<int64_t>(offset + count);
    return true;
}

bool CompoundFile::readSectors(std::span<const uint32_t> sectors, uint8_t *destination) {
    const uint32_t size = sectorSize();
    for (std::size_t i = 0; i < sectors.size();) {
        std::size_t run = 1;
        while (i + run < sectors.size() && sectors[i + run] == sectors[i] + run) {
            ++run;
        }
        if (!readAt(sectorOffset(sectors[i]), destination + i * size, static_cast<uint32_t>(run * size))) {
            return false;
        }
        i += run;
    }
    return true;
}

bool CompoundFile::followChain(uint32_t start, std::vector<uint32_t> &sectors) const {
    std::vector<bool> seen(fullSectors_);
    for (uint32_t sector = start; sector != kEndOfChain; sector = fat_[sector]) {
        // The special values all lie beyond any file this can read, so this one test refuses them too.
        if (sector >= fullSectors_ || sector >= fat_.size() || seen[sector]) {
            return false;
        }
        seen[sector] = true;
        sectors.push_back(sector);
    }
    return true;
}

template <typename Take>
bool CompoundFile::walkData(uint32_t start, uint64_t size, Take take) const {
    // The chain is followed only as far as the size needs; what lies beyond is not looked at.
    std::vector<bool> seen(dataSectors_);
    uint32_t sector = start;
    for (uint64_t at = 0; at < size; at += sectorSize()) {
        const auto length = static_cast<uint32_t>(std::min<uint64_t>(size - at, sectorSize()));
        // A sector whose bytes the file holds is one of the data sectors that `seen` counts.
        if (sectorOffset(sector) + length > fileSize_ || sector >= fat_.size() || seen[sector]) {
            return false;
        }
        seen[sector] = true;
        take(at, sector, length);
        sector = fat_[sector];
    }
    return true;
}

int32_t CompoundFile::load() {
    const int32_t end = seekFile(file_, 0, SeekOrigin::End);
    if (end < 0) {
        return stg::kReadFault;
    }
    fileSize_ = static_cast<uint32_t>(end);
    uint8_t header[kHeaderSize];
    if (!readAt(0, header, sizeof kSignature) || std::memcmp(header, kSignature, sizeof kSignature) != 0) {
        return stg::kFileAlreadyExists;
    }
    if (!readAt(0, header, kHeaderSize)) {
        return stg::kInvalidHeader;
    }
    version_ = le16(header + kMajorVersion);
    sectorShift_ = le16(header + kSectorShift);
    if (le16(header + kByteOrder) != 0xFFFE || !((version_ == 3 && sectorShift_ == 9) || (version_ == 4 && sectorShift_ == 12)) ||
        le16(header + kMiniSectorShiftField) != kMiniSectorShift ||
        le32(header + kMiniStreamCutoffField) != kMiniStreamCutoff) {
        return stg::kInvalidHeader;
    }
    // Sector n lies at (n + 1) sector sizes: the header takes the place of sector -1.
    const uint64_t afterHeader = fileSize_ > sectorSize() ? fileSize_ - sectorSize() : 0;
    fullSectors_ = static_cast<uint32_t>(afterHeader >> sectorShift_);
    dataSectors_ = static_cast<uint32_t>((afterHeader + sectorSize() - 1) >> sectorShift_);

    if (int32_t status = loadAllocationTable(header); status != stg::kOk) {
        return status;
    }
    if (int32_t status = loadDirectory(le32(header + kFirstDirectorySector)); status != stg::kOk) {
        return status;
    }
    loadMiniStream(le32(header + kFirstMiniFatSector));
    buildTrees();
    return stg::kOk;
}

int32_t CompoundFile::loadAllocationTable(std::span<const uint8_t> header) {
    // Every sector of the table is a whole sector of the file, so the claimed count cannot outgrow the file.
    const uint32_t count = le32(header.data() + kFatSectorCount);
    if (count > fullSectors_) {
        return stg::kDocfileCorrupt;
    }
    std::vector<uint32_t> tableSectors;
    tableSectors.reserve(count);
    for (uint32_t i = 0; i < kHeaderDifatEntries && tableSectors.size() < count; ++i) {
        tableSectors.push_back(le32(header.data() + kHeaderDifat + 4 * i));
    }
    // The rest of the list comes from the chain of DIFAT sectors, whose last entry names the next one.
    const uint32_t perSector = sectorSize() / 4 - 1;
    std::vector<uint8_t> sector(sectorSize());
    std::vector<bool> seen(fullSectors_);
    for (uint32_t next = le32(header.data() + kFirstDifatSector); tableSectors.size() < count;) {
        if (next >= fullSectors_ || seen[next] || !readAt(sectorOffset(next), sector.data(), sectorSize())) {
            return stg::kDocfileCorrupt;
        }
        seen[next] = true;
        for (uint32_t i = 0; i < perSector && tableSectors.size() < count; ++i) {
            tableSectors.push_back(le32(sector.data() + 4 * i));
        }
        next = le32(sector.data() + 4 * perSector);
    }
    for (uint32_t s : tableSectors) {
        if (s >= fullSectors_) {
            return stg::kDocfileCorrupt;
        }
    }
    std::vector<uint8_t> bytes(std::size_t{count} << sectorShift_);
    if (!readSectors(tableSectors, bytes.data())) {
        return stg::kDocfileCorrupt;
    }
    fat_.resize(bytes.size() / 4);
    for (std::size_t i = 0; i < fat_.size(); ++i) {
        fat_[i] = le32(bytes.data() + 4 * i);
    }
    return stg::kOk;
}

int32_t CompoundFile::loadDirectory(uint32_t first) {
    std::vector<uint32_t> sectors;
    if (!followChain(first, sectors) || sectors.empty()) {
        return stg::kDocfileCorrupt;
    }
    std::vector<uint8_t> bytes(sectors.size() << sectorShift_);
    if (!readSectors(sectors, bytes.data())) {
        return stg::kDocfileCorrupt;
    }
    entries_.resize(bytes.size() / kEntrySize);
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        const uint8_t *field = bytes.data() + i * kEntrySize;
        Entry &entry = entries_[i];
        decodeName(field, entry);
        entry.type = field[kObjectType];
        entry.listable = false;
        entry.left = le32(field + kLeftSibling);
        entry.right = le32(field + kRightSibling);
        entry.child = le32(field + kChild);
        entry.start = le32(field + kStartSector);
        entry.size = version_ == 3 ? le32(field + kStreamSize) : le64(field + kStreamSize);
        entry.firstElement = 0;
        entry.elementCount = 0;
    }
    return entries_[0].type == kRootObject ? stg::kOk : stg::kDocfileCorrupt;
}

void CompoundFile::loadMiniStream(uint32_t firstMiniFatSector) {
    // A damaged mini stream or mini table only makes the small streams unreadable.
    std::vector<uint32_t> sectors;
    if (firstMiniFatSector != kEndOfChain && !followChain(firstMiniFatSector, sectors)) {
        return;
    }
    std::vector<uint8_t> bytes(sectors.size() << sectorShift_);
    if (!readSectors(sectors, bytes.data())) {
        return;
    }
    miniFat_.resize(bytes.size() / 4);
    for (std::size_t i = 0; i < miniFat_.size(); ++i) {
        miniFat_[i] = le32(bytes.data() + 4 * i);
    }
    // The mini stream is the root entry's data; only the sectors its size needs are followed.
    const Entry &root = entries_[0];
    miniStreamSize_ = root.size;
    miniStreamSound_ = walkData(root.start, miniStreamSize_, [this](uint64_t, uint32_t sector, uint32_t) {
        miniStreamSectors_.push_back(sector);
    });
}

void CompoundFile::buildTrees() {
    // Each storage's elements form a binary tree through their sibling links. The walk is in order and uses
    // its own stack; an entry met a second time (a loop, a shared subtree, a link back to a storage above), a
    // link outside the directory, or an entry that is neither a storage nor a stream with a sound name makes
    // that one storage unlistable.
    std::vector<bool> claimed(entries_.size());
    claimed[0] = true;
    std::vector<uint32_t> storages{0};
    std::vector<uint32_t> stack;
    for (std::size_t next = 0; next < storages.size(); ++next) {
        Entry &storage = entries_[storages[next]];
        const std::size_t first = elements_.size();
        bool sound = true;
        stack.clear();
        uint32_t at = storage.child;
        while (sound && (at != kNoStream || !stack.empty())) {
            while (at != kNoStream) {
                if (at >= entries_.size() || claimed[at] || !entries_[at].nameValid ||
                    (entries_[at].type != kStorageObject && entries_[at].type != kStreamObject)) {
                    sound = false;
                    break;
                }
                claimed[at] = true;
                stack.push_back(at);
                at = entries_[at].left;
            }
            if (sound) {
                const uint32_t id = stack.back();
                stack.pop_back();
                elements_.push_back(id);
                at = entries_[id].right;
            }
        }
        if (!sound) {
            elements_.resize(first);
            continue;
        }
        storage.listable = true;
        storage.firstElement = static_cast<uint32_t>(first);
        storage.elementCount = static_cast<uint32_t>(elements_.size() - first);
        for (std::size_t i = first; i < elements_.size(); ++i) {
            if (entries_[elements_[i]].type == kStorageObject) {
                storages.push_back(elements_[i]);
            }
        }
    }
}

int32_t CompoundFile::extents(uint32_t stream, std::vector<Extent> &out) const {
    out.clear();
    const Entry &entry = entries_[stream];
    const uint64_t size = entry.size;
    // However large the claimed size, the walks end within the file: no sector or piece is taken twice.
    if (size == 0) {
        return stg::kOk;
    }
    if (size < kMiniStreamCutoff) {
        // Small streams lie in 64-byte pieces of the mini stream, chained by the mini table.
        if (!miniStreamSound_) {
            return stg::kDocfileCorrupt;
        }
        std::vector<bool> seen(miniFat_.size());
        uint32_t piece = entry.start;
        for (uint64_t at = 0; at < size; at += uint64_t{1} << kMiniSectorShift) {
            const uint64_t inMini = uint64_t{piece} << kMiniSectorShift;
            const auto length = static_cast<uint32_t>(std::min<uint64_t>(size - at, uint64_t{1} << kMiniSectorShift));
            if (piece >= miniFat_.size() || seen[piece] || inMini + length > miniStreamSize_) {
                return stg::kDocfileCorrupt;
            }
            seen[piece] = true;
            const uint32_t within = static_cast<uint32_t>(inMini) & (sectorSize() - 1);
            appendRun(out, at, sectorOffset(miniStreamSectors_[inMini >> sectorShift_]) + within, length);
            piece = miniFat_[piece];
        }
        return stg::kOk;
    }
    const bool sound = walkData(entry.start, size, [this, &out](uint64_t at, uint32_t sector, uint32_t length) {
        appendRun(out, at, sectorOffset(sector), length);
    });
    return sound ? stg::kOk : stg::kDocfileCorrupt;
}

}  // namespace vutil::platform::cfb
