# Checks a shipped Windows program from its own PE headers, read here byte by byte rather than
# through a tool that might paper over them, and its resources as windres decompiles them:
#   - x64 PE32+, stamped with the commit time (SOURCE_DATE_EPOCH), not the build time;
#   - ASLR with high-entropy addresses (with its base relocations), NX compatibility and
#     terminal-server awareness;
#   - no section both writable and executable, no .debug_* section, no symbol table;
#   - a version resource of this version, product and company, and a manifest that asks for no
#     elevation, names Windows 7 to 11, and neither changes the code page nor lifts the path limit.
# Usage: cmake -DPROGRAM=<exe> -DWINDRES=<windres> -DVERSION=<a.b.c> -DEPOCH=<seconds> -P PeHeaders.cmake
cmake_minimum_required(VERSION 3.25)

set(problems "")
macro(problem text)
  list(APPEND problems "${text}")
endmacro()

# An unsigned little-endian number of size bytes at offset (a number or an expression) of the
# hex text.
function(le out hex offset size)
  set(value 0)
  math(EXPR last "${size} - 1")
  foreach(i RANGE ${last} 0 -1)
    math(EXPR at "(${offset} + ${i}) * 2")
    string(SUBSTRING "${hex}" ${at} 2 byte)
    math(EXPR value "(${value} << 8) | 0x${byte}")
  endforeach()
  set(${out} ${value} PARENT_SCOPE)
endfunction()

# The text of a zero-padded or zero-ended byte string of at most size bytes.
function(bytes_text out hex offset size)
  set(text "")
  math(EXPR last "${size} - 1")
  foreach(i RANGE 0 ${last})
    math(EXPR at "(${offset} + ${i}) * 2")
    string(SUBSTRING "${hex}" ${at} 2 byte)
    if(byte STREQUAL "00")
      break()
    endif()
    math(EXPR code "0x${byte}")
    string(ASCII ${code} ch)
    string(APPEND text "${ch}")
  endforeach()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

file(READ "${PROGRAM}" head LIMIT 4096 HEX)
if(NOT head MATCHES "^4d5a")
  message(FATAL_ERROR "${PROGRAM} is not a PE file")
endif()
le(pe "${head}" 60 4)
le(signature "${head}" ${pe} 4)
if(NOT signature EQUAL 0x4550)
  message(FATAL_ERROR "${PROGRAM} has no PE signature")
endif()
math(EXPR coff "${pe} + 4")
le(machine "${head}" ${coff} 2)
le(section_count "${head}" "${coff} + 2" 2)
le(time_stamp "${head}" "${coff} + 4" 4)
le(symbol_table "${head}" "${coff} + 8" 4)
le(symbol_count "${head}" "${coff} + 12" 4)
le(optional_size "${head}" "${coff} + 16" 2)
le(file_flags "${head}" "${coff} + 18" 2)
math(EXPR optional "${coff} + 20")
le(magic "${head}" ${optional} 2)

if(NOT machine EQUAL 0x8664 OR NOT magic EQUAL 0x20b)
  problem("not an x64 PE32+ image")
endif()
if(NOT time_stamp EQUAL EPOCH)
  problem("PE time stamp ${time_stamp}, expected the commit time ${EPOCH}")
endif()
if(NOT symbol_count EQUAL 0)
  problem("carries a symbol table of ${symbol_count} symbols")
endif()
math(EXPR relocations_stripped "${file_flags} & 1")
if(relocations_stripped)
  problem("its base relocations are stripped")
endif()

le(dll_flags "${head}" "${optional} + 70" 2)
foreach(flag HIGH_ENTROPY_VA:0x20 DYNAMIC_BASE:0x40 NX_COMPAT:0x100 TERMINAL_SERVER_AWARE:0x8000)
  string(REPLACE ":" ";" flag "${flag}")
  list(GET flag 0 name)
  list(GET flag 1 bit)
  math(EXPR set "${dll_flags} & ${bit}")
  if(set EQUAL 0)
    problem("${name} is not set")
  endif()
endforeach()
# Data directory 5: the base relocations that ASLR needs.
le(relocations_size "${head}" "${optional} + 112 + 5 * 8 + 4" 4)
if(relocations_size EQUAL 0)
  problem("has no base relocations")
endif()

# Long section names live in the string table after the symbol table.
set(strings "")
if(NOT symbol_table EQUAL 0)
  math(EXPR string_table "${symbol_table} + ${symbol_count} * 18")
  file(READ "${PROGRAM}" strings OFFSET ${string_table} LIMIT 4096 HEX)
endif()

math(EXPR sections "${optional} + ${optional_size}")
math(EXPR last "${section_count} - 1")
set(names "")
foreach(i RANGE 0 ${last})
  math(EXPR header "${sections} + ${i} * 40")
  bytes_text(name "${head}" ${header} 8)
  if(name MATCHES "^/([0-9]+)$")
    if(strings STREQUAL "")
      problem("section ${name} names a string table the file lacks")
    else()
      bytes_text(name "${strings}" ${CMAKE_MATCH_1} 256)
    endif()
  endif()
  le(characteristics "${head}" "${header} + 36" 4)
  math(EXPR writable_executable "${characteristics} & 0xA0000000")
  if(writable_executable EQUAL 0xA0000000)
    problem("section ${name} is both writable and executable")
  endif()
  if(name MATCHES "^\\.debug")
    problem("carries the debug section ${name}")
  endif()
  list(APPEND names "${name}")
endforeach()
message(STATUS "sections: ${names}")

execute_process(COMMAND ${WINDRES} -i "${PROGRAM}" -O rc OUTPUT_VARIABLE resources RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  problem("windres cannot read its resources")
endif()
string(REPLACE "." ", " file_version "${VERSION}")
foreach(expected "FILEVERSION ${file_version}, 0" "PRODUCTVERSION ${file_version}, 0"
                 "VALUE \"CompanyName\", \"Orvex\"" "VALUE \"ProductName\", \"Corvane Dialer\""
                 "VALUE \"FileVersion\", \"${VERSION}\"" "VALUE \"ProductVersion\", \"${VERSION}\""
                 "VALUE \"FileDescription\", \"" "1 24 /\\* RT_MANIFEST \\*/"
                 "requestedExecutionLevel level=\"\"asInvoker\"\"" "supportedOS Id=\"\"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}\"\""
                 "supportedOS Id=\"\"{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}\"\""
                 "supportedOS Id=\"\"{1f676c76-80e1-4239-95bb-83d0f6d0da78}\"\""
                 "supportedOS Id=\"\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"\"")
  if(NOT resources MATCHES "${expected}")
    problem("its resources lack ${expected}")
  endif()
endforeach()
foreach(unwanted "activeCodePage" "longPathAware")
  if(resources MATCHES "${unwanted}")
    problem("its manifest sets ${unwanted}")
  endif()
endforeach()

if(problems)
  list(JOIN problems "\n  " text)
  message(FATAL_ERROR "${PROGRAM}:\n  ${text}")
endif()
message(STATUS "${PROGRAM}: headers and resources as shipped")
