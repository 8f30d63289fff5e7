# Runs the vutil commands as a user would: help and exit codes, error reports naming the
# file and the reason, "-" for standard output, and outputs that a failure leaves alone.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})

# run_tool(EXPECTED_STATUS ARGS...): runs the tool (under EMULATOR, if given) and sets OUT and ERR.
function(run_tool expected)
  execute_process(COMMAND ${EMULATOR} ${TOOL} ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status STREQUAL "${expected}")
    message(FATAL_ERROR "vutil ${ARGN}: exit status ${status}, expected ${expected}\n${out}\n${err}")
  endif()
  set(OUT "${out}" PARENT_SCOPE)
  set(ERR "${err}" PARENT_SCOPE)
endfunction()

function(expect_match text regex)
  if(NOT "${text}" MATCHES "${regex}")
    message(FATAL_ERROR "expected a match of '${regex}' in:\n${text}")
  endif()
endfunction()

# write_hex(FILE HEX): writes the bytes that a string of hex digits spells.
function(write_hex path hex)
  string(REGEX MATCHALL ".." pairs "${hex}")
  set(codes "")
  foreach(pair ${pairs})
    math(EXPR code "0x${pair}")
    list(APPEND codes ${code})
  endforeach()
  string(ASCII ${codes} bytes)
  file(WRITE ${path} "${bytes}")
endfunction()

# expect_file(FILE CONTENT [HEX]): the file holds exactly CONTENT (given in hex digits with HEX).
function(expect_file path content)
  file(READ ${path} held HEX)
  set(expected "${content}")
  if(NOT ARGV2 STREQUAL "HEX")
    string(HEX "${content}" expected)
  endif()
  if(NOT held STREQUAL expected)
    message(FATAL_ERROR "${path} holds ${held}, expected ${expected}")
  endif()
endfunction()

# Help and usage: 0 for help, 2 for wrong usage, and the usage line on the way.
run_tool(0 --help)
expect_match("${OUT}" "exit status: 0 done, 1 the operation failed, 2 wrong usage")
run_tool(2)
run_tool(2 no-such-command)
expect_match("${ERR}" "^vutil: unknown command 'no-such-command'")
foreach(command info demo records uncompress palette fax text ole path ini view)
  run_tool(0 ${command} --help)
  expect_match("${OUT}" "^usage: vutil ${command} ")
  if(NOT ERR STREQUAL "")
    message(FATAL_ERROR "vutil ${command} --help wrote to standard error: ${ERR}")
  endif()
  run_tool(0 help ${command})
  expect_match("${OUT}" "^usage: vutil ${command} ")
endforeach()
foreach(usage "info;extra" "demo;--out" "records;file-only" "uncompress" "uncompress;--bogus;in.Z" "uncompress;a;b;c"
              "uncompress;in.Z;--max;lots" "palette" "palette;a.svg;b.svg" "fax;0;8;g4;in;out" "fax;8;8;g5;in;out"
              "fax;8;8;g4;in;out;--bogus" "view" "view;in.tif;-o;out.gif" "view;in.tif;-o;a.png;--size;0x5"
              "view;in.tif;-o;a.png;--extents;5,5,5,9" "view;in.tif;-o;a.png;--page;0" "view;a.tif;b.tif;-o;a.png")
  run_tool(2 ${usage})
  list(GET usage 0 command)
  expect_match("${ERR}" "^vutil ${command}: [^\n]+\nusage: vutil ${command} ")
endforeach()

# A failed expansion leaves the named output as it was and nothing beside it.
file(WRITE ${WORK}/existing.txt "precious contents\n")
file(WRITE ${WORK}/junk.bin "this is not compressed")
run_tool(1 uncompress ${WORK}/junk.bin ${WORK}/existing.txt)
expect_match("${ERR}" "^vutil uncompress: ${WORK}/junk.bin: not a .Z file")
expect_file(${WORK}/existing.txt "precious contents\n")
run_tool(1 uncompress ${WORK}/missing.Z ${WORK}/existing.txt)
expect_match("${ERR}" "^vutil uncompress: ${WORK}/missing.Z: cannot open: No such file or directory\n$")
run_tool(1 uncompress ${WORK} ${WORK}/out.bin)
expect_match("${ERR}" "^vutil uncompress: ${WORK}: is a directory")

# Headers the library turns down with the same 0, told apart for the user.
write_hex(${WORK}/wide.Z 1f9d91010203)
run_tool(1 uncompress ${WORK}/wide.Z ${WORK}/existing.txt)
expect_match("${ERR}" "wide.Z: codes of up to 17 bits; at most 16 are supported")
file(READ ${DATA}/lzw/sample.b12.Z header LIMIT 3 HEX)
write_hex(${WORK}/empty.Z ${header})
run_tool(0 uncompress ${WORK}/empty.Z ${WORK}/empty.out)
expect_match("${OUT}" "^0 bytes written to")
expect_file(${WORK}/empty.out "")
run_tool(0 uncompress ${WORK}/empty.Z)
expect_match("${OUT}" "^0 bytes\n$")
file(READ ${DATA}/lzw/sample.b12.Z header LIMIT 4 HEX)
write_hex(${WORK}/cut.Z ${header})
run_tool(1 uncompress ${WORK}/cut.Z ${WORK}/existing.txt)
expect_match("${ERR}" "cut.Z: no complete code after the header")
run_tool(1 uncompress ${WORK}/cut.Z)
file(COPY ${DATA}/lzw/sample.b12.Z DESTINATION ${WORK})
run_tool(1 uncompress ${WORK}/sample.b12.Z ${WORK}/no-such-directory/out.bin)
expect_match("${ERR}" "^vutil uncompress: ${WORK}/no-such-directory/out.bin: cannot create a file in")
expect_file(${WORK}/existing.txt "precious contents\n")

# A good expansion replaces the output; without a terminal there is no progress line.
file(READ ${DATA}/lzw/sample.bin sample HEX)
run_tool(0 uncompress ${WORK}/sample.b12.Z ${WORK}/existing.txt)
expect_file(${WORK}/existing.txt "${sample}" HEX)
if(NOT ERR STREQUAL "")
  message(FATAL_ERROR "uncompress wrote to standard error without a terminal: ${ERR}")
endif()
run_tool(0 uncompress ${WORK}/sample.b12.Z)
file(SIZE ${DATA}/lzw/sample.bin expected_size)
expect_match("${OUT}" "^${expected_size} bytes\n$")
run_tool(0 uncompress ${WORK}/sample.b12.Z --max 1)
expect_match("${OUT}" "^1 bytes\n$")
run_tool(0 uncompress ${WORK}/sample.b12.Z --max 0)
expect_match("${OUT}" "^${expected_size} bytes\n$")
run_tool(0 uncompress ${WORK}/sample.b12.Z ${WORK}/head.bin --max 10)
string(SUBSTRING "${sample}" 0 20 head)
expect_file(${WORK}/head.bin "${head}" HEX)

# A write the library cannot finish (here: a file-size limit of 1 KiB) is found by the size
# of what reached the file, and the output stays as it was. (Windows has no such limit.)
if(NOT HOST STREQUAL "win32")
  execute_process(COMMAND sh -c "trap '' XFSZ; ulimit -f 1 && exec \"$0\" uncompress \"$1\" \"$2\""
                          ${TOOL} ${WORK}/sample.b12.Z ${WORK}/existing.txt
                  RESULT_VARIABLE status ERROR_VARIABLE err)
  string(LENGTH "${sample}" digits)
  math(EXPR sample_size "${digits} / 2")
  if(NOT status EQUAL 1 OR NOT err MATCHES "existing.txt: cannot write: [0-9]+ of ${sample_size} bytes reached the file")
    message(FATAL_ERROR "uncompress under a file-size limit: ${status} ${err}")
  endif()
  expect_file(${WORK}/existing.txt "${sample}" HEX)
endif()

# A demo that cannot write one of its files says which and fails.
file(MAKE_DIRECTORY ${WORK}/demo/drawing.svg)
run_tool(1 demo --out ${WORK}/demo)
expect_match("${ERR}" "^vutil demo: ${WORK}/demo/drawing.svg: is a directory\n$")

run_tool(0 demo --tour --out ${WORK}/tour)
expect_match("${OUT}" "read back: .*== Runtime services ==.*== File access ==.*== Codecs, raster and colour ==")

# "-" is standard output, and then nothing else goes there.
execute_process(COMMAND ${EMULATOR} ${TOOL} uncompress ${DATA}/lzw/sample.b16.Z - OUTPUT_FILE ${WORK}/stdout.bin
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "uncompress to standard output failed: ${status}")
endif()
expect_file(${WORK}/stdout.bin "${sample}" HEX)
run_tool(0 palette -)
expect_match("${OUT}" "^<svg [^\n]*\n.*</svg>\n$")
run_tool(1 palette ${WORK})
expect_match("${ERR}" "^vutil palette: ${WORK}: is a directory\n$")

# Listings that standard output cannot take are failures too (a full device: Linux's /dev/full).
if(EXISTS /dev/full AND NOT HOST STREQUAL "win32")
  execute_process(COMMAND ${TOOL} records ${DATA}/lzw/sample.bin L1 --count 3 OUTPUT_FILE /dev/full
                  RESULT_VARIABLE status ERROR_VARIABLE err)
  if(NOT status EQUAL 1 OR NOT err MATCHES "^vutil records: -: cannot write to standard output\n$")
    message(FATAL_ERROR "records to a full device: ${status} ${err}")
  endif()
endif()

# The other commands report the same way and keep their outputs on failure.
file(WRITE ${WORK}/existing.pbm "P4\n1 1\n")
file(WRITE ${WORK}/bad.raw "\n\n\n\n\n\n\n\n")
run_tool(1 fax 8 8 g4 ${WORK}/bad.raw ${WORK}/existing.pbm)
expect_match("${ERR}" "^vutil fax: ${WORK}/bad.raw: ")
expect_file(${WORK}/existing.pbm "P4\n1 1\n")
run_tool(1 records ${WORK}/missing.rec L1)
expect_match("${ERR}" "^vutil records: ${WORK}/missing.rec: cannot open: No such file or directory\n$")

# No temporary was left behind by any of it.
file(GLOB leftovers ${WORK}/.* ${WORK}/*.??????)
if(leftovers)
  message(FATAL_ERROR "temporaries left behind: ${leftovers}")
endif()
