// Paths on Windows: the library's notation (drive letters, backslashes) is the
// host's own, so paths pass through unchanged and the file system itself
// compares names without regard to case.
#include "platform/path.h"

namespace vutil::platform {

std::string toHostPath(std::string_view path) {
    return std::string(path);
}

std::string toHostNotation(std::string_view path) {
    return std::string(path);
}

std::string fromHostPath(std::string_view host) {
    return std::string(host);
}

}  // namespace vutil::platform
