# Runs the install-tree check; see CMakeLists.txt next to this file.
function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "failed: ${ARGN}\n${out}\n${err}")
  endif()
  set(LAST_OUTPUT "${out}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${PREFIX} ${WORK_DIR})
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX})

# The installed tool runs from the prefix and loads the installed library, not the build tree's.
unset(ENV{LD_LIBRARY_PATH})
run(${PREFIX}/${BINDIR}/vutil info)
if(NOT LAST_OUTPUT MATCHES "vutil interface version [0-9]+.*[0-9]+ of [0-9]+ exports implemented")
  message(FATAL_ERROR "installed vutil info printed:\n${LAST_OUTPUT}")
endif()
run(ldd ${PREFIX}/${BINDIR}/vutil)
string(REGEX MATCH "libvutil\\.so[.0-9]* => ([^ ]+)" found "${LAST_OUTPUT}")
string(FIND "${CMAKE_MATCH_1}" "${PREFIX}/" at)
if(NOT at EQUAL 0)
  message(FATAL_ERROR "installed vutil loads ${CMAKE_MATCH_1}, not the library under ${PREFIX}")
endif()

# The library directory name depends on the prefix (lib, lib64, lib/<triplet>).
file(GLOB_RECURSE pc_files ${PREFIX}/*/vutil.pc)
list(GET pc_files 0 pc_file)
get_filename_component(pc_dir ${pc_file} DIRECTORY)
get_filename_component(lib_dir ${pc_dir} DIRECTORY)

# pkg-config
set(ENV{PKG_CONFIG_PATH} ${pc_dir})
run(pkg-config --cflags --libs vutil)
string(STRIP "${LAST_OUTPUT}" flags)
separate_arguments(flags UNIX_COMMAND "${flags}")
file(MAKE_DIRECTORY ${WORK_DIR})
run(${C_COMPILER} -std=c11 -Wall -Wextra -Werror ${CONSUMER_DIR}/main.c ${flags} -o ${WORK_DIR}/consumer_pkgconfig)
set(ENV{LD_LIBRARY_PATH} ${lib_dir})
run(${WORK_DIR}/consumer_pkgconfig)
message(STATUS "pkg-config consumer: ${LAST_OUTPUT}")
run(${CXX_COMPILER} -std=c++17 -Wall -Wextra -Wpedantic -Werror ${CONSUMER_DIR}/main.cpp ${flags}
    -o ${WORK_DIR}/consumer_cxx_pkgconfig)
run(${WORK_DIR}/consumer_cxx_pkgconfig)
message(STATUS "pkg-config C++ consumer: ${LAST_OUTPUT}")

# find_package
run(${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${WORK_DIR}/cmake -G ${GENERATOR}
    -DCMAKE_PREFIX_PATH=${PREFIX} -DCMAKE_C_COMPILER=${C_COMPILER} -DCMAKE_CXX_COMPILER=${CXX_COMPILER})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/cmake)
run(${WORK_DIR}/cmake/consumer)
message(STATUS "find_package consumer: ${LAST_OUTPUT}")
run(${WORK_DIR}/cmake/consumer_cxx)
message(STATUS "find_package C++ consumer: ${LAST_OUTPUT}")

# The tree holds the library, the public headers, the tool and both package descriptions.
file(GLOB installed_headers RELATIVE ${PREFIX}/include ${PREFIX}/include/vutil.h ${PREFIX}/include/vutil/*.h)
list(LENGTH installed_headers header_count)
file(GLOB installed_libraries ${lib_dir}/libvutil.so.*)
foreach(expected ${PREFIX}/bin/vutil ${lib_dir}/libvutil.so ${lib_dir}/cmake/vutil/vutilConfig.cmake
                 ${lib_dir}/cmake/vutil/vutilConfigVersion.cmake ${pc_file})
  if(NOT EXISTS ${expected})
    message(FATAL_ERROR "the install tree lacks ${expected}")
  endif()
endforeach()
if(header_count LESS 9 OR NOT installed_libraries)
  message(FATAL_ERROR "the install tree holds the headers ${installed_headers} and the libraries ${installed_libraries}")
endif()
