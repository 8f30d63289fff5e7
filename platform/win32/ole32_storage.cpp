// The storage services of Windows itself: "ole32.dll", loaded when the binding asks for it and reached only through
// the entry points found by name and the published storage, stream and element-enumerator interfaces. The library
// does not import ole32; a host without it fails the binding.
//
// The binding calls the entry points with the shapes of platform/storage.h; what it gets back are small adapters
// that call the entry points found, with the further arguments the system's calls take, and wrap the system's
// objects.
#include <windows.h>
#include <objbase.h>
#include <objidl.h>

#include <algorithm>
#include <cwchar>
#include <new>

#include "platform/storage.h"

namespace vutil::platform {

static_assert(sizeof(OLECHAR) == sizeof(char16_t), "wide text is UTF-16 on Windows");

/// The loaded "ole32.dll" and what was found in it.
struct StorageLibrary {
    HMODULE module;
    decltype(&::CoInitialize) coInitialize;
    decltype(&::CoUninitialize) coUninitialize;
    decltype(&::StgIsStorageFile) stgIsStorageFile;
    decltype(&::StgOpenStorage) stgOpenStorage;
    /// Frees the names that enumerators hand out.
    decltype(&::CoTaskMemFree) coTaskMemFree;
};

namespace {

/// The one library loaded at a time (the binding loads it once per process); the adapters call through it.
StorageLibrary ole32;
int32_t libraryLoads = 0;

const OLECHAR *wide(const char16_t *text) noexcept { return reinterpret_cast<const OLECHAR *>(text); }

template <typename Function>
Function entryPointNamed(HMODULE module, const char *name) noexcept {
    // Through the one function type that stands for any other.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
}

class SystemStream final : public Stream {
public:
    explicit SystemStream(IStream *object) noexcept : object_(object) {}

    int32_t seek(int64_t offset, StreamOrigin origin, uint64_t *position) noexcept override {
        LARGE_INTEGER move;
        move.QuadPart = offset;
        ULARGE_INTEGER at{};
        const HRESULT status = object_->Seek(move, static_cast<DWORD>(origin), position != nullptr ? &at : nullptr);
        if (SUCCEEDED(status) && position != nullptr) {
            *position = at.QuadPart;
        }
        return status;
    }

    uint64_t tell() const noexcept override {
        LARGE_INTEGER none;
        none.QuadPart = 0;
        ULARGE_INTEGER at{};
        return SUCCEEDED(object_->Seek(none, STREAM_SEEK_CUR, &at)) ? at.QuadPart : 0;
    }

    uint64_t size() const noexcept override {
        STATSTG status{};
        return SUCCEEDED(object_->Stat(&status, STATFLAG_NONAME)) ? status.cbSize.QuadPart : 0;
    }

    void release() noexcept override {
        object_->Release();
        delete this;
    }

private:
    /// Every read is the system's: the stream keeps no window.
    int32_t readSlow(void *destination, uint32_t count, uint32_t *got) noexcept override {
        ULONG read = 0;
        const HRESULT status = object_->Read(destination, count, &read);
        if (got != nullptr) {
            *got = static_cast<uint32_t>(read);
        }
        return status;
    }

    IStream *object_;
};

class SystemElementEnumerator final : public ElementEnumerator {
public:
    explicit SystemElementEnumerator(IEnumSTATSTG *object) noexcept : object_(object) {}

    int32_t next(ElementStatus *out) noexcept override {
        STATSTG status{};
        const HRESULT result = object_->Next(1, &status, nullptr);
        if (result != S_OK) {
            return result;  // S_FALSE after the last element
        }
        if (out != nullptr) {
            // Names hold 31 characters at most; a longer one, which only a damaged file can give, is cut.
            const std::size_t length =
                status.pwcsName != nullptr ? std::min<std::size_t>(wcslen(status.pwcsName), kMaxNameLength) : 0;
            std::copy_n(status.pwcsName, length, out->name);
            out->name[length] = u'\0';
            out->type = status.type;
            out->size = status.cbSize.QuadPart;
        }
        ole32.coTaskMemFree(status.pwcsName);
        return S_OK;
    }

    void release() noexcept override {
        object_->Release();
        delete this;
    }

private:
    IEnumSTATSTG *object_;
};

/// `object` wrapped for the caller in `*out`; the system's result, or a failure (with the object released) when
/// memory runs out.
template <typename Wrapper, typename Interface, typename Base>
int32_t wrap(HRESULT status, Interface *object, Base **out) noexcept {
    if (FAILED(status) || object == nullptr) {
        return status;
    }
    *out = new (std::nothrow) Wrapper(object);
    if (*out == nullptr) {
        object->Release();
        return stg::kInsufficientMemory;
    }
    return status;
}

class SystemStorage final : public Storage {
public:
    explicit SystemStorage(IStorage *object) noexcept : object_(object) {}

    int32_t openStorage(const char16_t *name, uint32_t mode, Storage **out) noexcept override {
        if (out == nullptr) {
            return stg::kInvalidParameter;
        }
        *out = nullptr;
        IStorage *storage = nullptr;
        const HRESULT status = object_->OpenStorage(wide(name), nullptr, mode, nullptr, 0, &storage);
        return wrap<SystemStorage>(status, storage, out);
    }

    int32_t openStream(const char16_t *name, uint32_t mode, Stream **out) noexcept override {
        if (out == nullptr) {
            return stg::kInvalidParameter;
        }
        *out = nullptr;
        IStream *stream = nullptr;
        const HRESULT status = object_->OpenStream(wide(name), nullptr, mode, 0, &stream);
        return wrap<SystemStream>(status, stream, out);
    }

    int32_t enumElements(ElementEnumerator **out) noexcept override {
        if (out == nullptr) {
            return stg::kInvalidParameter;
        }
        *out = nullptr;
        IEnumSTATSTG *elements = nullptr;
        const HRESULT status = object_->EnumElements(0, nullptr, 0, &elements);
        return wrap<SystemElementEnumerator>(status, elements, out);
    }

    void release() noexcept override {
        object_->Release();
        delete this;
    }

private:
    IStorage *object_;
};

// ---- The adapters the binding calls -----------------------------------------

int32_t startComponentServices(void *reserved) noexcept {
    const HRESULT status = ole32.coInitialize(reserved);
    if (SUCCEEDED(status)) {
        countComponentServiceUse(+1);
    }
    return status;
}

/// Stops what a start on this thread began; a start that failed (the thread's services run in another model, say)
/// has nothing to stop, and stopping anyway would end the caller's own use.
void stopComponentServices() noexcept {
    if (componentServiceUsers() > 0) {
        countComponentServiceUse(-1);
        ole32.coUninitialize();
    }
}

int32_t isStorageFile(const char16_t *name) noexcept { return ole32.stgIsStorageFile(wide(name)); }

int32_t openStorageFile(const char16_t *name, uint32_t mode, Storage **out) noexcept {
    if (out == nullptr) {
        return stg::kInvalidParameter;
    }
    *out = nullptr;
    if (takeStorageOpenFailure()) {
        return stg::kShareViolation;
    }
    IStorage *root = nullptr;
    const HRESULT status = ole32.stgOpenStorage(wide(name), nullptr, mode, nullptr, 0, &root);
    return wrap<SystemStorage>(status, root, out);
}

/// Looks `name` up into `found`; the adapter when it is there.
template <typename Function>
EntryPoint bindEntry(const char *name, Function &found, EntryPoint adapter) noexcept {
    found = entryPointNamed<Function>(ole32.module, name);
    return found != nullptr ? adapter : nullptr;
}

}  // namespace

StorageLibrary *loadStorageLibrary(std::string_view name) noexcept {
    char path[MAX_PATH];
    if (storageLibraryFault("library") || ole32.module != nullptr || name.size() >= sizeof path) {
        return nullptr;
    }
    std::copy(name.begin(), name.end(), path);
    path[name.size()] = '\0';
    const HMODULE module = ::LoadLibraryA(path);
    if (module == nullptr) {
        return nullptr;
    }
    const auto coTaskMemFree = entryPointNamed<decltype(&::CoTaskMemFree)>(module, "CoTaskMemFree");
    if (coTaskMemFree == nullptr) {
        ::FreeLibrary(module);
        return nullptr;
    }
    ole32 = StorageLibrary{module, nullptr, nullptr, nullptr, nullptr, coTaskMemFree};
    ++libraryLoads;
    return &ole32;
}

void freeStorageLibrary(StorageLibrary *library) noexcept {
    if (library != nullptr && library->module != nullptr) {
        ::FreeLibrary(library->module);
        *library = StorageLibrary{};
        --libraryLoads;
    }
}

int32_t storageLibraryLoads() noexcept { return libraryLoads; }

EntryPoint storageEntryPoint(StorageLibrary *library, std::string_view name) noexcept {
    if (library != &ole32 || ole32.module == nullptr || storageLibraryFault(name)) {
        return nullptr;
    }
    if (name == "CoInitialize") {
        return bindEntry("CoInitialize", ole32.coInitialize, reinterpret_cast<EntryPoint>(&startComponentServices));
    }
    if (name == "CoUninitialize") {
        return bindEntry("CoUninitialize", ole32.coUninitialize,
                         reinterpret_cast<EntryPoint>(&stopComponentServices));
    }
    if (name == "StgIsStorageFile") {
        return bindEntry("StgIsStorageFile", ole32.stgIsStorageFile, reinterpret_cast<EntryPoint>(&isStorageFile));
    }
    if (name == "StgOpenStorage") {
        return bindEntry("StgOpenStorage", ole32.stgOpenStorage, reinterpret_cast<EntryPoint>(&openStorageFile));
    }
    return nullptr;
}

}  // namespace vutil::platform
