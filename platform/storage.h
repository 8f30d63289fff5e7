// Structured storage: the host's compound-document services, bound at run time by name, and their storage, stream
// and element-enumerator objects.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

namespace vutil::platform {

/// A run of a stream's bytes that lies in one place in the file.
struct Extent {
    uint64_t streamOffset;
    uint64_t fileOffset;
    uint32_t length;
};

/// Results of the storage services, with the host's published values: negative values are failures.
namespace stg {
inline constexpr int32_t kOk = 0;     ///< done
inline constexpr int32_t kFalse = 1;  ///< done, with the negative answer (not a compound file, no more elements)
inline constexpr int32_t kInvalidFunction = static_cast<int32_t>(0x80030001);
inline constexpr int32_t kFileNotFound = static_cast<int32_t>(0x80030002);
inline constexpr int32_t kAccessDenied = static_cast<int32_t>(0x80030005);
inline constexpr int32_t kInsufficientMemory = static_cast<int32_t>(0x80030008);
inline constexpr int32_t kReadFault = static_cast<int32_t>(0x8003001E);
inline constexpr int32_t kShareViolation = static_cast<int32_t>(0x80030020);
inline constexpr int32_t kFileAlreadyExists = static_cast<int32_t>(0x80030050);  ///< exists, not a compound file
inline constexpr int32_t kInvalidParameter = static_cast<int32_t>(0x80030057);
inline constexpr int32_t kInvalidHeader = static_cast<int32_t>(0x800300FB);
inline constexpr int32_t kInvalidFlag = static_cast<int32_t>(0x800300FF);
inline constexpr int32_t kDocfileCorrupt = static_cast<int32_t>(0x80030109);
}  // namespace stg

/// Access and sharing flags of the open calls. Only reading is offered.
inline constexpr uint32_t kStgmRead = 0x00;
inline constexpr uint32_t kStgmWrite = 0x01;
inline constexpr uint32_t kStgmReadWrite = 0x02;
inline constexpr uint32_t kStgmShareExclusive = 0x10;
inline constexpr uint32_t kStgmShareDenyWrite = 0x20;
inline constexpr uint32_t kStgmShareDenyRead = 0x30;
inline constexpr uint32_t kStgmShareDenyNone = 0x40;

/// Element types of an element status.
inline constexpr uint32_t kTypeStorage = 1;
inline constexpr uint32_t kTypeStream = 2;

/// Longest element name in UTF-16 units, without its terminator.
inline constexpr int kMaxNameLength = 31;

/// The status of one element, as an enumerator reports it. A plain record: it can live in static tables.
struct ElementStatus {
    char16_t name[kMaxNameLength + 1];  ///< terminated
    uint32_t type;                      ///< kTypeStorage, kTypeStream, or another kind the host lists (3, 4)
    uint64_t size;                      ///< bytes of a stream; 0 for a storage
};

/// Seek origins of Stream::seek.
enum class StreamOrigin : uint32_t { Set = 0, Current = 1, End = 2 };

class Stream;
class ElementEnumerator;

/// A storage: the document's root or one nested in it. Every object keeps the document open until it is released.
class Storage {
public:
    Storage(const Storage &) = delete;
    Storage &operator=(const Storage &) = delete;

    /// Opens the storage named `name` inside this one; the mode must read and share exclusively.
    virtual int32_t openStorage(const char16_t *name, uint32_t mode, Storage **out) noexcept = 0;
    /// Opens the stream named `name` inside this one; the mode must read and share exclusively.
    virtual int32_t openStream(const char16_t *name, uint32_t mode, Stream **out) noexcept = 0;
    /// Starts an enumeration of the elements, in the order of the directory tree.
    virtual int32_t enumElements(ElementEnumerator **out) noexcept = 0;
    /// Gives the object up.
    virtual void release() noexcept = 0;

protected:
    Storage() = default;
    virtual ~Storage() = default;
};

/// Steps through the elements of a storage.
class ElementEnumerator {
public:
    ElementEnumerator(const ElementEnumerator &) = delete;
    ElementEnumerator &operator=(const ElementEnumerator &) = delete;

    /// The next element's status: stg::kOk, or stg::kFalse after the last one.
    virtual int32_t next(ElementStatus *out) noexcept = 0;
    virtual void release() noexcept = 0;

protected:
    ElementEnumerator() = default;
    virtual ~ElementEnumerator() = default;
};

/// A stream opened for reading. A stream may hold a window of its bytes in memory, so that reading a byte at a
/// time costs no call per byte; what the window does not hold comes through readSlow.
class Stream {
public:
    Stream(const Stream &) = delete;
    Stream &operator=(const Stream &) = delete;

    /// Reads up to `count` bytes at the seek pointer; stg::kOk with `*got` bytes (fewer at the end of the
    /// stream), or a failure with nothing read and the seek pointer where it was.
    int32_t read(void *destination, uint32_t count, uint32_t *got) noexcept {
        if (count != 0 && count <= static_cast<std::size_t>(end_ - next_)) {
            std::memcpy(destination, next_, count);
            next_ += count;
            if (got != nullptr) {
                *got = count;
            }
            return stg::kOk;
        }
        return readSlow(destination, count, got);
    }

    /// The byte at the seek pointer when the window holds it (and the pointer moves on), else -1: the caller
    /// then reads.
    int32_t nextByte() noexcept { return next_ < end_ ? *next_++ : -1; }

    /// Moves the seek pointer (a target beyond the end is allowed, a negative one is not); the new position goes
    /// to `*position` when that is not null.
    virtual int32_t seek(int64_t offset, StreamOrigin origin, uint64_t *position) noexcept = 0;
    /// The seek pointer.
    virtual uint64_t tell() const noexcept = 0;
    virtual uint64_t size() const noexcept = 0;
    virtual void release() noexcept = 0;

protected:
    Stream() = default;
    virtual ~Stream() = default;
    /// read, for what the window does not hold.
    virtual int32_t readSlow(void *destination, uint32_t count, uint32_t *got) noexcept = 0;

    /// The window: next_ at the seek pointer, end_ after the last byte held. Both null in a stream without one.
    const uint8_t *next_ = nullptr;
    const uint8_t *end_ = nullptr;
};

/// Entry points of the storage services, as the binding finds them by name.
using CoInitializeFunction = int32_t (*)(void *reserved) noexcept;
using CoUninitializeFunction = void (*)() noexcept;
using StgIsStorageFileFunction = int32_t (*)(const char16_t *name) noexcept;
using StgOpenStorageFunction = int32_t (*)(const char16_t *name, uint32_t mode, Storage **out) noexcept;

// The built-in compound-file reader's entry points, which the built-in library offers under the host's names.

/// Starts the component services on this thread: stg::kOk the first time, stg::kFalse when they already run.
int32_t coInitialize(void *reserved) noexcept;
/// Undoes one coInitialize.
void coUninitialize() noexcept;
/// stg::kOk when the file (a host path in UTF-16, in the library's notation) begins with the compound-file
/// signature, stg::kFalse when it does not, a failure when it cannot be read. Takes no lock.
int32_t stgIsStorageFile(const char16_t *name) noexcept;
/// Opens a compound file for reading, sharing it as the mode says (deny write or exclusive), as its root storage.
/// A file that is not a compound file gives stg::kFileAlreadyExists, a damaged one stg::kDocfileCorrupt or
/// stg::kInvalidHeader.
int32_t stgOpenStorage(const char16_t *name, uint32_t mode, Storage **out) noexcept;

/// The library that holds the storage services: the built-in reader (loading it always succeeds), or on Windows,
/// unless the build asks for the built-in reader, the system's "ole32.dll", loaded when asked for.
struct StorageLibrary;
/// Loads the library of that name ("ole32.dll"); null for any other name or when it cannot be loaded.
StorageLibrary *loadStorageLibrary(std::string_view name) noexcept;
/// Unloads it again.
void freeStorageLibrary(StorageLibrary *library) noexcept;
/// An entry point of the loaded library by its name, with the signature of the *Function type of that name; null
/// when the library has none of that name.
using EntryPoint = void (*)();
EntryPoint storageEntryPoint(StorageLibrary *library, std::string_view name) noexcept;
/// How many loads are not undone yet.
int32_t storageLibraryLoads() noexcept;

/// How many starts of the component services through the entry points are not undone yet on this thread.
int32_t componentServiceUsers() noexcept;
/// Counts a start (+1) or a stop (-1) of the component services on this thread; the count stays at 0 or above.
void countComponentServiceUse(int32_t change) noexcept;

/// Makes loading fail ("library") or hides one entry point (its name); empty restores both. For tests.
void setStorageLibraryFault(std::string_view what) noexcept;
/// Makes the next `count` calls of the StgOpenStorage entry point fail with a sharing violation, as they do while
/// another program writes the file and lets others read it (which the host's locks cannot tell from a reader).
/// For tests.
void failStorageOpens(int32_t count) noexcept;
/// True when setStorageLibraryFault withholds `what` ("library" or an entry point's name).
bool storageLibraryFault(std::string_view what) noexcept;
/// Takes one of the failures failStorageOpens asked for: true when this open is to fail.
bool takeStorageOpenFailure() noexcept;

}  // namespace vutil::platform
