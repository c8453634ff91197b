# Checks the include lines of src/ and tools/corvane against the layers: a file may include
# headers of its own layer and of the layers below it, never of one above or beside it.
# Run: cmake -DSOURCE_DIR=<project root> -P LayerIncludes.cmake

# Each layer with the folders (first component of an include path) it may include.
set(allowed_core core)
set(allowed_platform core platform)
set(allowed_rtl core platform rtl)
set(allowed_Utils core platform rtl Utils)
set(allowed_CorvaneUtil core platform rtl Utils CorvaneUtil)
set(allowed_dialer core platform rtl Utils CorvaneUtil dialer)
# The POSIX RAS layer is a library of its own: core and the record layout, a header.
set(allowed_rasapi core platform/RasRecords.h)
# A launching program's operations, below the tool and the C interface: the dialer's exit statuses
# are a header they share with it.
set(allowed_launch core platform rtl Utils CorvaneUtil dialer/ExitStatus.h launch)
set(allowed_launchlib core platform rtl Utils CorvaneUtil launch launchlib corvane/launch.h)
set(allowed_tool core platform rtl Utils CorvaneUtil dialer/ExitStatus.h launch)

set(faults "")
file(GLOB_RECURSE files RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/src/*.h ${SOURCE_DIR}/src/*.cpp
     ${SOURCE_DIR}/tools/corvane/*.h ${SOURCE_DIR}/tools/corvane/*.cpp)
foreach(file IN LISTS files)
  if(file MATCHES "^tools/corvane/")
    set(layer tool)
  elseif(file MATCHES "^src/([^/]+)/")
    set(layer ${CMAKE_MATCH_1})
  else()
    list(APPEND faults "${file}: outside every layer")
    continue()
  endif()
  if(NOT DEFINED allowed_${layer})
    list(APPEND faults "${file}: folder ${layer} is not a known layer")
    continue()
  endif()
  file(STRINGS ${SOURCE_DIR}/${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*" "\\1" header "${line}")
    if(NOT header MATCHES "/")
      continue()  # a header beside the file, in its own folder
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
message(STATUS "${count} files keep to their layers")
