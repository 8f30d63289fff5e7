// The library's module: its handle, its file name, and the DLL entry point
// through which the loader reports attach and detach.
#include "platform/module.h"

#include <windows.h>

#include <atomic>

#include "frame/entry.h"

namespace vutil::platform {
namespace {

std::atomic<bool> entryCalled{false};

}  // namespace

void *currentModule() noexcept {
    HMODULE module = nullptr;
    if (::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                             reinterpret_cast<LPCSTR>(&currentModule), &module) &&
        module != nullptr) {
        return module;
    }
    return ::GetModuleHandleA(nullptr);
}

std::string moduleFileName(void *module) {
    if (module == nullptr) {
        return {};
    }
    std::string name(MAX_PATH, '\0');
    for (;;) {
        DWORD length = ::GetModuleFileNameA(static_cast<HMODULE>(module), name.data(), static_cast<DWORD>(name.size()));
        if (length == 0) {
            return {};
        }
        if (length < name.size()) {
            name.resize(length);
            return name;
        }
        if (name.size() >= 32768) {
            return {};
        }
        name.resize(name.size() * 2);
    }
}

bool loaderCallsEntry() noexcept {
    return entryCalled.load();
}

}  // namespace vutil::platform

// The DLL's entry point. In a program that links the static library it is
// never called, and the frame's load hooks stand in for it.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        vutil::platform::entryCalled.store(true);
    }
    return vutil::frame::entryPoint(instance, reason, reserved) != 0 ? TRUE : FALSE;
}
