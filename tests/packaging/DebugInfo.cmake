# Every source of this project that the Windows build compiles under src/ or tools/ reaches the
# separate debug file of a shipped program or library with its debug information: a library that
# a folder adds cannot ship without it. Reads the compile units of the debug files (their top
# level only) and the build's compile commands.
# Usage: cmake -DOBJDUMP=<objdump> -DSOURCE_DIR=<project root> -DCOMPILE_COMMANDS=<compile_commands.json>
#              -DDEBUG_FILES=<file;file...> -P DebugInfo.cmake
cmake_minimum_required(VERSION 3.25)

file(READ "${COMPILE_COMMANDS}" commands)
string(JSON count LENGTH "${commands}")
math(EXPR last "${count} - 1")
set(expected "")
foreach(i RANGE ${last})
  string(JSON source GET "${commands}" ${i} file)
  cmake_path(RELATIVE_PATH source BASE_DIRECTORY "${SOURCE_DIR}")
  if(source MATCHES "^(src|tools)/.*\\.(c|cpp)$")
    list(APPEND expected "${source}")
  endif()
endforeach()
list(REMOVE_DUPLICATES expected)
if(NOT expected)
  message(FATAL_ERROR "no source of src/ or tools/ in ${COMPILE_COMMANDS}")
endif()

set(units "")
foreach(debug_file IN LISTS DEBUG_FILES)
  execute_process(COMMAND ${OBJDUMP} --dwarf=info --dwarf-depth=1 ${debug_file}
                  RESULT_VARIABLE result OUTPUT_VARIABLE dump ERROR_VARIABLE errors)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} cannot read ${debug_file}: ${errors}")
  endif()
  string(REGEX MATCHALL "DW_AT_name[^\n]*" names "${dump}")
  foreach(name IN LISTS names)
    # "DW_AT_name : (indirect line string, offset: 0x..): corvane/src/core/Text.cpp"
    string(REGEX REPLACE ".*: " "" name "${name}")
    list(APPEND units "${name}")
  endforeach()
endforeach()

set(missing "")
foreach(source IN LISTS expected)
  set(found FALSE)
  foreach(unit IN LISTS units)
    if(unit STREQUAL source OR unit MATCHES "/${source}$")
      set(found TRUE)
      break()
    endif()
  endforeach()
  if(NOT found)
    list(APPEND missing "${source}")
  endif()
endforeach()
if(missing)
  list(JOIN missing "\n  " shown)
  message(FATAL_ERROR "No debug information in any shipped debug file (compiled without -g, or linked into "
                      "no shipped program or library):\n  ${shown}")
endif()
list(LENGTH expected shown)
message(STATUS "${shown} sources carry their debug information into the shipped debug files")
