// The library of storage services that the binding loads, where the host has none of its own (or the build asks
// for the built-in one): the built-in compound-file reader under the host's names. Loading it always succeeds.
#include "platform/storage.h"

namespace vutil::platform {
namespace {

int32_t libraryLoads = 0;

}  // namespace

/// The one library there is; its address is the handle.
struct StorageLibrary {
    std::string_view name;
};

namespace {
constexpr StorageLibrary kLibrary{"ole32.dll"};
}  // namespace

StorageLibrary *loadStorageLibrary(std::string_view name) noexcept {
    if (name != kLibrary.name || storageLibraryFault("library")) {
        return nullptr;
    }
    ++libraryLoads;
    return const_cast<StorageLibrary *>(&kLibrary);
}

void freeStorageLibrary(StorageLibrary *library) noexcept {
    if (library != nullptr && libraryLoads > 0) {
        --libraryLoads;
    }
}

int32_t storageLibraryLoads() noexcept { return libraryLoads; }

EntryPoint storageEntryPoint(StorageLibrary *library, std::string_view name) noexcept {
    if (library == nullptr || storageLibraryFault(name)) {
        return nullptr;
    }
    struct Named {
        std::string_view name;
        EntryPoint entry;
    };
    const Named table[] = {
        {"CoInitialize", reinterpret_cast<EntryPoint>(&coInitialize)},
        {"CoUninitialize", reinterpret_cast<EntryPoint>(&coUninitialize)},
        {"StgIsStorageFile", reinterpret_cast<EntryPoint>(&stgIsStorageFile)},
        {"StgOpenStorage", reinterpret_cast<EntryPoint>(&stgOpenStorage)},
    };
    for (const Named &named : table) {
        if (named.name == name) {
            return named.entry;
        }
    }
    return nullptr;
}

}  // namespace vutil::platform
