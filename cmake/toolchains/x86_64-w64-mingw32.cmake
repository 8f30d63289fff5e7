# vutil.dll for 64-bit Windows.
set(VUTIL_MINGW_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
