// Structured storage over the built-in compound-file reader: the storage, stream and enumerator objects and the
// entry points; and the test seams and counts that every binding shares.
#include "platform/storage.h"

#include <algorithm>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "platform/compound_file.h"

namespace vutil::platform {
namespace {

/// Bytes a stream keeps in its window at most.
constexpr uint32_t kWindowSize = 64 * 1024;

/// The document name back in the library's notation; false when it has no ANSI form.
bool documentPath(const char16_t *name, std::string &path) {
    auto text = name != nullptr ? fromWide(std::u16string_view(name)) : std::nullopt;
    if (text) {
        path = std::move(*text);
    }
    return text.has_value();
}

/// Names compare exactly, or else without regard to the case of ASCII letters.
bool sameName(const char16_t *a, const char16_t *b, bool foldCase) noexcept {
    const auto fold = [foldCase](char16_t c) { return foldCase && c >= u'a' && c <= u'z' ? char16_t(c - 32) : c; };
    for (;; ++a, ++b) {
        const char16_t x = fold(*a);
        const char16_t y = fold(*b);
        if (x != y) {
            return false;
        }
        if (x == u'\0') {
            return true;
        }
    }
}

thread_local int32_t componentUsers = 0;
int32_t openFailures = 0;
/// What setStorageLibraryFault withholds: "library", an entry point's name, or nothing.
char libraryFault[32];

/// A storage of a compound file: the root or one nested in it.
class FileStorage final : public Storage {
public:
    FileStorage(std::shared_ptr<cfb::CompoundFile> file, uint32_t entry) noexcept
        : file_(std::move(file)), entry_(entry) {}

    int32_t openStorage(const char16_t *name, uint32_t mode, Storage **out) noexcept override;
    int32_t openStream(const char16_t *name, uint32_t mode, Stream **out) noexcept override;
    int32_t enumElements(ElementEnumerator **out) noexcept override;
    void release() noexcept override { delete this; }

private:
    /// The element of that name: an exact match first, else one equal but for the case of ASCII letters;
    /// NOSTREAM if none.
    uint32_t find(const char16_t *name) const noexcept;
    /// Checks an open of the element `name` of that type (elements open to read, exclusively) and finds it.
    int32_t lookUp(const char16_t *name, uint32_t mode, uint8_t type, uint32_t &id) const noexcept;

    std::shared_ptr<cfb::CompoundFile> file_;
    uint32_t entry_;
};

class FileElementEnumerator final : public ElementEnumerator {
public:
    FileElementEnumerator(std::shared_ptr<cfb::CompoundFile> file, uint32_t storage) noexcept
        : file_(std::move(file)), storage_(storage) {}

    int32_t next(ElementStatus *out) noexcept override;
    void release() noexcept override { delete this; }

private:
    std::shared_ptr<cfb::CompoundFile> file_;
    uint32_t storage_;
    uint32_t next_ = 0;
};

/// A stream of a compound file. Bytes come from a window of up to 64 KiB of the file; reads that are large take the
/// file's bytes straight into the caller's buffer.
class FileStream final : public Stream {
public:
    FileStream(std::shared_ptr<cfb::CompoundFile> file, std::vector<Extent> extents, uint64_t size) noexcept
        : file_(std::move(file)), extents_(std::move(extents)), size_(size) {}

    int32_t seek(int64_t offset, StreamOrigin origin, uint64_t *position) noexcept override;
    uint64_t tell() const noexcept override {
        return windowStart_ + static_cast<uint64_t>(next_ - window_.get());
    }
    uint64_t size() const noexcept override { return size_; }
    void release() noexcept override { delete this; }

private:
    int32_t readSlow(void *destination, uint32_t count, uint32_t *got) noexcept override;
    /// Places the seek pointer at `position` with an empty window.
    void dropWindow(uint64_t position) noexcept;
    /// The extent that holds `position` (below the size).
    const Extent &extentAt(uint64_t position) noexcept;

    std::shared_ptr<cfb::CompoundFile> file_;
    std::vector<Extent> extents_;
    uint64_t size_;
    std::unique_ptr<uint8_t[]> window_;
    uint32_t windowCapacity_ = 0;
    /// The window holds the stream's bytes from windowStart_ on, up to end_; next_ is at the seek pointer.
    uint64_t windowStart_ = 0;
    std::size_t extentHint_ = 0;
};

}  // namespace

// ---- Storages -------------------------------------------------------------

uint32_t FileStorage::find(const char16_t *name) const noexcept {
    const auto elements = file_->elements(entry_);
    for (bool foldCase : {false, true}) {
        for (uint32_t id : elements) {
            if (sameName(file_->entry(id).name, name, foldCase)) {
                return id;
            }
        }
    }
    return cfb::kNoStream;
}

int32_t FileStorage::lookUp(const char16_t *name, uint32_t mode, uint8_t type, uint32_t &id) const noexcept {
    if (name == nullptr) {
        return stg::kInvalidParameter;
    }
    if ((mode & (kStgmWrite | kStgmReadWrite)) != 0) {
        return stg::kAccessDenied;
    }
    if (mode != kStgmShareExclusive) {
        return stg::kInvalidFlag;
    }
    if (!file_->entry(entry_).listable) {
        return stg::kDocfileCorrupt;
    }
    id = find(name);
    return id != cfb::kNoStream && file_->entry(id).type == type ? stg::kOk : stg::kFileNotFound;
}

int32_t FileStorage::openStorage(const char16_t *name, uint32_t mode, Storage **out) noexcept {
    if (out == nullptr) {
        return stg::kInvalidParameter;
    }
    *out = nullptr;
    uint32_t id = 0;
    if (int32_t status = lookUp(name, mode, cfb::kStorageObject, id); status != stg::kOk) {
        return status;
    }
    *out = new (std::nothrow) FileStorage(file_, id);
    return *out != nullptr ? stg::kOk : stg::kInsufficientMemory;
}

int32_t FileStorage::openStream(const char16_t *name, uint32_t mode, Stream **out) noexcept {
    if (out == nullptr) {
        return stg::kInvalidParameter;
    }
    *out = nullptr;
    uint32_t id = 0;
    if (int32_t status = lookUp(name, mode, cfb::kStreamObject, id); status != stg::kOk) {
        return status;
    }
    try {
        std::vector<Extent> extents;
        if (int32_t status = file_->extents(id, extents); status != stg::kOk) {
            return status;
        }
        *out = new FileStream(file_, std::move(extents), file_->entry(id).size);
        return stg::kOk;
    } catch (const std::bad_alloc &) {
        return stg::kInsufficientMemory;
    }
}

int32_t FileStorage::enumElements(ElementEnumerator **out) noexcept {
    if (out == nullptr) {
        return stg::kInvalidParameter;
    }
    *out = nullptr;
    if (!file_->entry(entry_).listable) {
        return stg::kDocfileCorrupt;
    }
    *out = new (std::nothrow) FileElementEnumerator(file_, entry_);
    return *out != nullptr ? stg::kOk : stg::kInsufficientMemory;
}

// ---- Enumerators ----------------------------------------------------------

int32_t FileElementEnumerator::next(ElementStatus *out) noexcept {
    const auto elements = file_->elements(storage_);
    if (next_ >= elements.size()) {
        return stg::kFalse;
    }
    const cfb::Entry &entry = file_->entry(elements[next_++]);
    if (out != nullptr) {
        std::copy(std::begin(entry.name), std::end(entry.name), out->name);
        // A storage's start and size mean nothing; writers leave all sorts of values there.
        out->type = entry.type == cfb::kStorageObject ? kTypeStorage : kTypeStream;
        out->size = entry.type == cfb::kStorageObject ? 0 : entry.size;
    }
    return stg::kOk;
}

// ---- Streams --------------------------------------------------------------

void FileStream::dropWindow(uint64_t position) noexcept {
    windowStart_ = position;
    next_ = end_ = window_.get();
}

const Extent &FileStream::extentAt(uint64_t position) noexcept {
    // Reading goes forward, so the last extent used is the usual answer; seeks search.
    if (extentHint_ >= extents_.size() || position < extents_[extentHint_].streamOffset) {
        extentHint_ = 0;
    }
    const Extent *hint = &extents_[extentHint_];
    if (position >= hint->streamOffset + hint->length) {
        auto after = std::upper_bound(extents_.begin(), extents_.end(), position,
                                      [](uint64_t p, const Extent &e) { return p < e.streamOffset; });
        extentHint_ = static_cast<std::size_t>(after - extents_.begin()) - 1;
    }
    return extents_[extentHint_];
}

int32_t FileStream::readSlow(void *destination, uint32_t count, uint32_t *got) noexcept {
    const uint64_t start = tell();
    auto *bytes = static_cast<uint8_t *>(destination);
    uint32_t done = 0;
    while (done < count) {
        if (next_ < end_) {
            const auto piece = static_cast<uint32_t>(std::min<std::size_t>(count - done, end_ - next_));
            std::memcpy(bytes + done, next_, piece);
            next_ += piece;
            done += piece;
            continue;
        }
        const uint64_t position = tell();
        if (position >= size_) {
            break;
        }
        const Extent &extent = extentAt(position);
        const uint64_t within = position - extent.streamOffset;
        const uint64_t inExtent = extent.length - within;
        const uint32_t wanted = count - done;
        if (window_ == nullptr && wanted < kWindowSize) {
            windowCapacity_ = static_cast<uint32_t>(std::min<uint64_t>(size_, kWindowSize));
            window_.reset(new (std::nothrow) uint8_t[windowCapacity_]);
            if (window_ == nullptr) {
                windowCapacity_ = 0;
            }
            dropWindow(position);
        }
        if (wanted >= windowCapacity_) {
            // Large reads go straight to the caller's buffer, an extent at a time.
            const auto piece = static_cast<uint32_t>(std::min<uint64_t>(wanted, inExtent));
            if (!file_->readAt(extent.fileOffset + within, bytes + done, piece)) {
                dropWindow(start);
                return stg::kReadFault;
            }
            done += piece;
            dropWindow(position + piece);
            continue;
        }
        const auto fill = static_cast<uint32_t>(std::min<uint64_t>(windowCapacity_, inExtent));
        if (!file_->readAt(extent.fileOffset + within, window_.get(), fill)) {
            dropWindow(start);
            return stg::kReadFault;
        }
        windowStart_ = position;
        next_ = window_.get();
        end_ = next_ + fill;
    }
    if (got != nullptr) {
        *got = done;
    }
    return stg::kOk;
}

int32_t FileStream::seek(int64_t offset, StreamOrigin origin, uint64_t *position) noexcept {
    int64_t base = 0;
    switch (origin) {
    case StreamOrigin::Set:
        break;
    case StreamOrigin::Current:
        base = static_cast<int64_t>(tell());
        break;
    case StreamOrigin::End:
        base = static_cast<int64_t>(size_);
        break;
    default:
        return stg::kInvalidFunction;
    }
    if ((offset < 0 && base + offset < 0) || (offset > 0 && offset > INT64_MAX - base)) {
        return stg::kInvalidFunction;
    }
    const auto target = static_cast<uint64_t>(base + offset);
    const uint64_t windowLength = static_cast<uint64_t>(end_ - window_.get());
    if (target >= windowStart_ && target - windowStart_ <= windowLength && windowLength != 0) {
        next_ = window_.get() + (target - windowStart_);
    } else {
        dropWindow(target);
    }
    if (position != nullptr) {
        *position = target;
    }
    return stg::kOk;
}

// ---- Entry points ---------------------------------------------------------

int32_t coInitialize(void * /*reserved*/) noexcept { return componentUsers++ == 0 ? stg::kOk : stg::kFalse; }

void coUninitialize() noexcept {
    if (componentUsers > 0) {
        --componentUsers;
    }
}


int32_t stgIsStorageFile(const char16_t *name) noexcept {
    std::string path;
    try {
        if (!documentPath(name, path)) {
            return stg::kFileNotFound;
        }
    } catch (const std::bad_alloc &) {
        return stg::kInsufficientMemory;
    }
    const int32_t file = openFile(path, FileAccess::Read, FileSharing::Unlocked);
    if (file < 0) {
        return stg::kFileNotFound;
    }
    uint8_t head[sizeof cfb::kSignature];
    int32_t got = 0;
    while (got < static_cast<int32_t>(sizeof head)) {
        const int32_t piece = readFile(file, head + got, static_cast<int32_t>(sizeof head) - got);
        if (piece <= 0) {
            break;
        }
        got += piece;
    }
    closeFile(file);
    const bool isCompound = got == static_cast<int32_t>(sizeof head) && std::equal(head, head + got, cfb::kSignature);
    return isCompound ? stg::kOk : stg::kFalse;
}

int32_t stgOpenStorage(const char16_t *name, uint32_t mode, Storage **out) noexcept {
    if (out == nullptr) {
        return stg::kInvalidParameter;
    }
    *out = nullptr;
    if (takeStorageOpenFailure()) {
        return stg::kShareViolation;
    }
    if ((mode & (kStgmWrite | kStgmReadWrite)) != 0) {
        return stg::kAccessDenied;
    }
    FileSharing sharing;
    switch (mode) {
    case kStgmShareExclusive:
    case kStgmShareDenyRead:
        sharing = FileSharing::Exclusive;
        break;
    case kStgmRead:
    case kStgmShareDenyWrite:
    case kStgmShareDenyNone:
        sharing = FileSharing::Shared;
        break;
    default:
        return stg::kInvalidFlag;
    }
    try {
        std::string path;
        if (!documentPath(name, path)) {
            return stg::kFileNotFound;
        }
        std::shared_ptr<cfb::CompoundFile> file;
        if (int32_t status = cfb::CompoundFile::open(path, sharing, file); status != stg::kOk) {
            return status;
        }
        *out = new FileStorage(std::move(file), 0);
        return stg::kOk;
    } catch (const std::bad_alloc &) {
        return stg::kInsufficientMemory;
    }
}

// ---- Shared by the bindings --------------------------------------------

int32_t componentServiceUsers() noexcept { return componentUsers; }

void countComponentServiceUse(int32_t change) noexcept { componentUsers = std::max(componentUsers + change, 0); }

void failStorageOpens(int32_t count) noexcept { openFailures = count; }

void setStorageLibraryFault(std::string_view what) noexcept {
    const std::size_t length = std::min(what.size(), sizeof libraryFault - 1);
    std::copy_n(what.data(), length, libraryFault);
    libraryFault[length] = '\0';
}

bool storageLibraryFault(std::string_view what) noexcept { return !what.empty() && what == libraryFault; }

bool takeStorageOpenFailure() noexcept {
    if (openFailures <= 0) {
        return false;
    }
    --openFailures;
    return true;
}

}  // namespace vutil::platform
