# Warnings, floating-point rules and sanitizers shared by every target of the project.

add_library(vutil_warnings INTERFACE)
target_compile_options(vutil_warnings INTERFACE
  -Wall -Wextra
  $<$<COMPILE_LANGUAGE:CXX>:-Wnon-virtual-dtor>)
# Warnings are always on; whether they stop the build is the developer's and
# CI's choice (the presets turn it on). Packagers, whose compilers may warn
# about things no one here has seen yet, get the warnings without the stop.
option(VUTIL_WERROR "Treat compiler warnings as errors" OFF)
if(VUTIL_WERROR)
  target_compile_options(vutil_warnings INTERFACE -Werror)
endif()

# Results must not depend on the compiler: no contraction into fused
# multiply-add, no reassociation.
add_compile_options(-ffp-contract=off -fno-fast-math)

if(VUTIL_SANITIZE)
  list(JOIN VUTIL_SANITIZE "," _vutil_sanitizers)
  add_compile_options(-fsanitize=${_vutil_sanitizers} -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=${_vutil_sanitizers})
endif()

# Line and branch counts for tools/coverage_report.py (gcc's gcov format).
option(VUTIL_COVERAGE "Instrument every target for coverage (gcc --coverage)" OFF)
if(VUTIL_COVERAGE)
  # Atomic counters: the scan reader decodes on two threads, and counts raced there come out negative.
  add_compile_options(--coverage -fprofile-update=atomic)
  add_link_options(--coverage)
endif()
