// Loading and unloading of the library: the module handle and the unload steps.
#pragma once

#include <cstdint>

namespace vutil::frame {

/// Reasons the loader gives the entry point.
enum class Reason : uint32_t {
    ProcessDetach = 0,
    ProcessAttach = 1,
    ThreadAttach = 2,
    ThreadDetach = 3,
};

/// Process-wide state released at unload, in this order.
enum class UnloadStep : int {
    Group34Scratch = 0,  ///< scratch blocks of the Group 3/4 table builder
    OleBinding = 1,      ///< the binding to the host's compound-document services
};
inline constexpr int kUnloadStepCount = 2;

/// The library's entry point. Attach stores the module handle (fails for a
/// null handle); detach runs the registered unload steps in their fixed
/// order; the thread reasons do nothing. Open buffered files are left alone.
int32_t entryPoint(void *module, uint32_t reason, void *reserved) noexcept;

/// The module handle stored at attach; null before.
void *moduleHandle() noexcept;

/// Registers the release of one service's process-wide state. A service
/// registers when it first builds such state; the step runs at detach in its
/// fixed place, whatever the order of registration.
void registerUnloadStep(UnloadStep step, void (*release)() noexcept) noexcept;

}  // namespace vutil::frame
