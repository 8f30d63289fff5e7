# Runs the install-tree check of a Windows build; see CMakeLists.txt next to this file.
function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "failed: ${ARGN}\n${out}\n${err}")
  endif()
  set(LAST_OUTPUT "${out}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${PREFIX} ${WORK_DIR})
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX})

# The tree: the DLL and the tool in bin, the import and the static library in lib, the headers and the package.
file(GLOB installed_headers RELATIVE ${PREFIX}/include ${PREFIX}/include/vutil.h ${PREFIX}/include/vutil/*.h)
list(LENGTH installed_headers header_count)
foreach(expected bin/vutil.dll bin/vutil.exe lib/libvutil.dll.a lib/libvutil.a lib/cmake/vutil/vutilConfig.cmake
                 lib/cmake/vutil/vutilConfigVersion.cmake lib/pkgconfig/vutil.pc)
  if(NOT EXISTS ${PREFIX}/${expected})
    message(FATAL_ERROR "the install tree lacks ${expected}")
  endif()
endforeach()
if(header_count LESS 9)
  message(FATAL_ERROR "the install tree holds the headers ${installed_headers}")
endif()

# The installed tool runs from bin with the DLL beside it.
run(${EMULATOR} ${PREFIX}/bin/vutil.exe info)
if(NOT LAST_OUTPUT MATCHES "vutil interface version [0-9]+.*drive letters are the system's own.*[^0-9]([0-9]+) of ([0-9]+) exports implemented")
  message(FATAL_ERROR "installed vutil info printed:\n${LAST_OUTPUT}")
endif()
if(NOT CMAKE_MATCH_1 EQUAL CMAKE_MATCH_2)
  message(FATAL_ERROR "the installed DLL has ${CMAKE_MATCH_1} of the ${CMAKE_MATCH_2} exports")
endif()

# Programs find the DLL in their own directory or on the PATH (under Wine: WINEPATH).
set(ENV{WINEPATH} ${PREFIX}/bin)
set(ENV{PATH} "${PREFIX}/bin;$ENV{PATH}")

# A C program built by the compiler alone against the headers and the import library.
file(MAKE_DIRECTORY ${WORK_DIR})
run(${C_COMPILER} -std=c11 -Wall -Wextra -Werror ${CONSUMER_DIR}/main.c -I${PREFIX}/include -L${PREFIX}/lib -lvutil
    -o ${WORK_DIR}/consumer_plain.exe)
run(${EMULATOR} ${WORK_DIR}/consumer_plain.exe)
message(STATUS "plain consumer: ${LAST_OUTPUT}")

# find_package: the C and C++ callers of the shared library. The cross toolchain searches its own root for
# packages only, so the package is named by its directory. The C++ runtime is linked in, as the library does.
run(${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${WORK_DIR}/cmake -G ${GENERATOR} -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN}
    -Dvutil_DIR=${PREFIX}/lib/cmake/vutil -DCMAKE_EXE_LINKER_FLAGS=-static)
run(${CMAKE_COMMAND} --build ${WORK_DIR}/cmake)
foreach(program consumer consumer_cxx consumer_plain)
  set(binary ${WORK_DIR}/cmake/${program}.exe)
  if(program STREQUAL "consumer_plain")
    set(binary ${WORK_DIR}/consumer_plain.exe)
  endif()
  # Each of them calls into vutil.dll through the import library, not a copy of the code.
  run(${OBJDUMP} -p ${binary})
  if(NOT LAST_OUTPUT MATCHES "DLL Name: vutil.dll")
    message(FATAL_ERROR "${program} does not import vutil.dll")
  endif()
endforeach()
run(${EMULATOR} ${WORK_DIR}/cmake/consumer.exe)
message(STATUS "find_package consumer: ${LAST_OUTPUT}")
run(${EMULATOR} ${WORK_DIR}/cmake/consumer_cxx.exe)
message(STATUS "find_package C++ consumer: ${LAST_OUTPUT}")
