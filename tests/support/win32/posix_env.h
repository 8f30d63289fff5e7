// The few POSIX calls of the tests' set-up that a Windows C runtime names
// differently, included into every test source of a Windows build.
#pragma once

#include <stdlib.h>

#ifdef __cplusplus
extern "C" {
#endif

/// setenv and unsetenv over _putenv_s, which also sets the process's environment block.
static inline int setenv(const char *name, const char *value, int overwrite) {
    if (!overwrite && getenv(name) != NULL) {
        return 0;
    }
    return _putenv_s(name, value) == 0 ? 0 : -1;
}

static inline int unsetenv(const char *name) { return _putenv_s(name, "") == 0 ? 0 : -1; }

/// realpath over _fullpath (names are not resolved through links).
static inline char *realpath(const char *path, char *resolved) { return _fullpath(resolved, path, 260); }

#ifdef __cplusplus
}
#endif
