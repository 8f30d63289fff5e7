// An environment variable set for a scope, then restored.
#pragma once

#include <cstdlib>
#include <string>

namespace vutil::test {

/// Sets an environment variable for a scope (null: unset), then restores it.
struct ScopedEnv {
    ScopedEnv(const char *name, const char *value)
        : name(name), had(std::getenv(name) != nullptr), old(had ? std::getenv(name) : "") {
        value != nullptr ? setenv(name, value, 1) : unsetenv(name);
    }
    ~ScopedEnv() { had ? setenv(name, old.c_str(), 1) : unsetenv(name); }
    ScopedEnv(const ScopedEnv &) = delete;
    ScopedEnv &operator=(const ScopedEnv &) = delete;
    const char *name;
    bool had;
    std::string old;
};

}  // namespace vutil::test
