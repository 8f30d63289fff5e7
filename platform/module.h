// The library's own module: its handle and its file name.
#pragma once

#include <string>

namespace vutil::platform {

/// The handle of the module that holds this code (its load address), never null.
void *currentModule() noexcept;

/// The full host file name of the module whose handle is given; empty when unknown.
std::string moduleFileName(void *module);

/// True when the host's loader calls the library's entry point itself (a
/// Windows DLL); the frame's load and unload hooks then leave it to the loader.
bool loaderCallsEntry() noexcept;

}  // namespace vutil::platform
