# Checks the include lines of src/ and tools/corvane against the layers: a file may include
# headers of its own layer and of the layers below it, never of one above or beside it. Every
# quoted include names its folder, also in tests/, fuzz/, bench/ and examples/: a bare name would
# be found only through a folder published for it, and could not be told apart from a header of
# the same name in another layer.
# Run: cmake -DSOURCE_DIR=<project root> -P LayerIncludes.cmake

# Each layer with the folders (first component of an include path) it may include.
set(allowed_core core)
set(allowed_platform core platform)
set(allowed_rtl core platform rtl)
set(allowed_Utils core platform rtl Utils)
set(allowed_CorvaneUtil core platform rtl Utils CorvaneUtil)
set(allowed_dialer core platform rtl Utils CorvaneUtil dialer)
# The POSIX RAS layer is a library of its own: core and the record layout, a header.
set(allowed_rasapi core platform/RasRecords.h rasapi)
# A launching program's operations, below the tool and the C interface.
set(allowed_launch core platform rtl Utils CorvaneUtil launch)
set(allowed_launchlib core platform rtl Utils CorvaneUtil launch launchlib corvane/launch.h)
# The tool's headers are named by their path in the repository: "corvane/" alone is the launching
# library's public folder.
set(allowed_tool core platform rtl Utils CorvaneUtil launch tools/corvane)

set(faults "")
set(include_line "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\"")

# In the layers (src, tools/corvane) every include is checked against the layer's folders; in the
# tests, fuzzers, benchmarks and examples only that it names a folder.
file(GLOB_RECURSE files RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/src/*.h ${SOURCE_DIR}/src/*.cpp
     ${SOURCE_DIR}/tools/corvane/*.h ${SOURCE_DIR}/tools/corvane/*.cpp)
file(GLOB_RECURSE others RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/tests/*.h ${SOURCE_DIR}/tests/*.cpp
     ${SOURCE_DIR}/fuzz/*.h ${SOURCE_DIR}/fuzz/*.cpp ${SOURCE_DIR}/bench/*.h ${SOURCE_DIR}/bench/*.cpp
     ${SOURCE_DIR}/examples/*.h ${SOURCE_DIR}/examples/*.cpp)
foreach(file IN LISTS files others)
  set(layer "")
  if(file MATCHES "^tools/corvane/")
    set(layer tool)
  elseif(file MATCHES "^src/([^/]+)/")
    set(layer ${CMAKE_MATCH_1})
  elseif(file MATCHES "^src/")
    list(APPEND faults "${file}: outside every layer")
    continue()
  endif()
  if(layer AND NOT DEFINED allowed_${layer})
    list(APPEND faults "${file}: folder ${layer} is not a known layer")
    continue()
  endif()
  file(STRINGS ${SOURCE_DIR}/${file} includes REGEX "${include_line}")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "${include_line}.*" "\\1" header "${line}")
    if(NOT header MATCHES "/")
      list(APPEND faults "${file}: ${header} names no folder")
      continue()
    endif()
    if(NOT layer)
      continue()
    endif()
    set(permitted FALSE)
    foreach(allowed IN LISTS allowed_${layer})
      if(header STREQUAL allowed OR header MATCHES "^${allowed}/")
        set(permitted TRUE)
      endif()
    endforeach()
    if(NOT permitted)
      list(APPEND faults "${file}: layer ${layer} includes ${header}")
    endif()
  endforeach()
endforeach()

if(faults)
  list(JOIN faults "\n  " shown)
  message(FATAL_ERROR "Includes against the layers:\n  ${shown}")
endif()
list(LENGTH files count)
list(LENGTH others otherCount)
message(STATUS "${count} files keep to their layers; ${otherCount} more name the folders of their includes")
