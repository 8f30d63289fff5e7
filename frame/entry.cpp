// Library entry point, module handle and unload steps.
#include "frame/entry.h"

#include <atomic>

#include "platform/module.h"

namespace vutil::frame {
namespace {

std::atomic<void *> module{nullptr};
std::atomic<void (*)() noexcept> unloadSteps[kUnloadStepCount];

}  // namespace

int32_t entryPoint(void *handle, uint32_t reason, void * /*reserved*/) noexcept {
    switch (static_cast<Reason>(reason)) {
    case Reason::ProcessAttach:
        if (handle == nullptr) {
            return 0;
        }
        module.store(handle);
        return 1;
    case Reason::ProcessDetach:
        for (auto &step : unloadSteps) {
            if (auto release = step.load()) {
                release();
            }
        }
        return 1;
    case Reason::ThreadAttach:
    case Reason::ThreadDetach:
    default:
        return 1;
    }
}

void *moduleHandle() noexcept { return module.load(); }

void registerUnloadStep(UnloadStep step, void (*release)() noexcept) noexcept {
    unloadSteps[static_cast<int>(step)].store(release);
}

namespace {

// The load hooks: the only static constructor and destructor of the library.
// They are the entry point's callers wherever the loader does not call it
// (an ELF library, a program linked with the static library). Attach twice
// with the same handle changes nothing; detach runs once.
[[gnu::constructor]] void onLoad() noexcept {
    entryPoint(platform::currentModule(), static_cast<uint32_t>(Reason::ProcessAttach), nullptr);
}

[[gnu::destructor]] void onUnload() noexcept {
    if (!platform::loaderCallsEntry()) {
        entryPoint(platform::currentModule(), static_cast<uint32_t>(Reason::ProcessDetach), nullptr);
    }
}

}  // namespace
}  // namespace vutil::frame
