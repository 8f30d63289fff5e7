# vutil.dll for 32-bit Windows.
set(VUTIL_MINGW_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
# Doubles in SSE2 registers, as on x86_64: x87's wider intermediates would
# make results depend on where the compiler spills them.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
