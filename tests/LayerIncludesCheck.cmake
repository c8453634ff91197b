# The layer check refuses what it is there to refuse: runs tests/LayerIncludes.cmake over scratch
# trees, each with one fault planted, and expects each run to fail naming it; the same tree
# without a fault passes.
# Run: cmake -DSOURCE_DIR=<project root> -DWORK_DIR=<scratch folder> -P LayerIncludesCheck.cmake
cmake_minimum_required(VERSION 3.25)

set(root "${WORK_DIR}/layer-includes")

# A tree whose every include keeps to the rules, then the file named by fault_file holding
# fault_line besides.
function(check_tree name fault_file fault_line expected)
  file(REMOVE_RECURSE "${root}")
  file(WRITE "${root}/src/core/Text.h" "#pragma once\n")
  file(WRITE "${root}/src/rtl/Stream.cpp" "#include \"rtl/Stream.h\"\n#include \"core/Text.h\"\n")
  file(WRITE "${root}/src/rtl/Stream.h" "#pragma once\n#include <string>\n")
  file(WRITE "${root}/tools/corvane/Cli.cpp" "#include \"tools/corvane/Cli.h\"\n#include \"rtl/Stream.h\"\n")
  file(WRITE "${root}/tools/corvane/Cli.h" "#pragma once\n")
  file(WRITE "${root}/tests/rtl/StreamTest.cpp" "#include \"rtl/Stream.h\"\n#include <gtest/gtest.h>\n")
  file(WRITE "${root}/fuzz/Fuzzer.cpp" "#include \"fuzz/FuzzText.h\"\n")
  if(fault_file)
    file(APPEND "${root}/${fault_file}" "${fault_line}\n")
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${root} -P ${SOURCE_DIR}/tests/LayerIncludes.cmake
                  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(expected STREQUAL "")
    if(NOT result EQUAL 0)
      message(FATAL_ERROR "${name}: the check refused a tree that keeps to the rules:\n${output}")
    endif()
  elseif(result EQUAL 0)
    message(FATAL_ERROR "${name}: the check passed:\n${output}")
  elseif(NOT output MATCHES "${expected}")
    message(FATAL_ERROR "${name}: the check failed without naming \"${expected}\":\n${output}")
  endif()
  message(STATUS "${name}: as expected")
endfunction()

check_tree("clean tree" "" "" "")
check_tree("bare name in a layer" src/rtl/Stream.cpp "#include \"Stream.h\"" "src/rtl/Stream.cpp: Stream.h names no folder")
check_tree("bare name in the tool" tools/corvane/Cli.cpp "#include \"Cli.h\"" "tools/corvane/Cli.cpp: Cli.h names no folder")
check_tree("bare name in a test" tests/rtl/StreamTest.cpp "#include \"Stream.h\"" "tests/rtl/StreamTest.cpp: Stream.h names no folder")
check_tree("bare name in a fuzzer" fuzz/Fuzzer.cpp "#  include \"FuzzText.h\"" "fuzz/Fuzzer.cpp: FuzzText.h names no folder")
check_tree("layer above" src/rtl/Stream.cpp "#include \"Utils/Util.CryptoU.h\"" "layer rtl includes Utils/Util.CryptoU.h")
check_tree("launching side into the dialer" src/launch/Dial.cpp "#include \"dialer/ExitStatus.h\"" "layer launch includes dialer/ExitStatus.h")
check_tree("tool as the public folder" tools/corvane/Cli.cpp "#include \"corvane/Cli.h\"" "layer tool includes corvane/Cli.h")
file(REMOVE_RECURSE "${root}")
