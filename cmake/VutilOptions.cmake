# Warnings, floating-point rules and sanitizers shared by every target of the project.

add_library(vutil_warnings INTERFACE)
target_compile_options(vutil_warnings INTERFACE
  -Wall -Wextra -Werror
  $<$<COMPILE_LANGUAGE:CXX>:-Wnon-virtual-dtor>)

# Results must not depend on the compiler: no contraction into fused
# multiply-add, no reassociation.
add_compile_options(-ffp-contract=off -fno-fast-math)

if(VUTIL_SANITIZE)
  list(JOIN VUTIL_SANITIZE "," _vutil_sanitizers)
  add_compile_options(-fsanitize=${_vutil_sanitizers} -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=${_vutil_sanitizers})
endif()
