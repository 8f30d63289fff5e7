// Library paths to host paths.
#include "platform/path.h"

#include <cctype>
#include <cstdlib>

namespace vutil::platform {

std::string toHostPath(std::string_view path) {
    std::string host;
    host.reserve(path.size() + 16);
    if (path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]))) {
        char variable[] = "VUTIL_DRIVE_X";
        variable[sizeof variable - 2] = static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])));
        if (const char *root = std::getenv(variable); root != nullptr && *root != '\0') {
            host = root;
            bool rootEndsWithSlash = host.back() == '/';
            bool restIsRooted = path.size() > 2 && (path[2] == '\\' || path[2] == '/');
            if (rootEndsWithSlash && restIsRooted) {
                host.pop_back();
            } else if (!rootEndsWithSlash && !restIsRooted && path.size() > 2) {
                host.push_back('/');
            }
        }
        path.remove_prefix(2);
    }
    for (char c : path) {
        host.push_back(c == '\\' ? '/' : c);
    }
    return host;
}

}  // namespace vutil::platform
