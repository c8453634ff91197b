# The fuzz build's weakened key derivation (FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION) reaches no
# other build. Configures (no build) a scratch tree that includes cmake/FuzzBuildMode.cmake with
# the macro arriving each way it can, and expects each configure to fail naming where it found
# it; the same tree without the macro, under a standard and a custom build type, configures.
# Then preprocesses each source that belongs to a program alone under the macro, and expects it
# to refuse.
# Run: cmake -DSOURCE_DIR=<project root> -DWORK_DIR=<scratch folder> -DGENERATOR=<generator>
#            -DC_COMPILER=<cc> -DCXX_COMPILER=<c++> -P FuzzBuildModeCheck.cmake
cmake_minimum_required(VERSION 3.25)

set(macro FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION)
set(root "${WORK_DIR}/fuzz-build-mode")
file(REMOVE_RECURSE "${root}")

# The scratch tree: the module, and a folder below it where a way of the macro is chosen by
# SCRATCH_WAY.
file(WRITE "${root}/source/CMakeLists.txt" "cmake_minimum_required(VERSION 3.25)
project(FuzzBuildModeScratch LANGUAGES C CXX)
include([==[${SOURCE_DIR}/cmake/FuzzBuildMode.cmake]==])
add_subdirectory(part)
")
file(WRITE "${root}/source/part/part.cpp" "int Part() { return 0; }\n")
file(WRITE "${root}/source/part/CMakeLists.txt" "
if(SCRATCH_WAY STREQUAL \"folder definition\")
  add_compile_definitions(${macro})
elseif(SCRATCH_WAY STREQUAL \"folder option\")
  add_compile_options(-D${macro})
elseif(SCRATCH_WAY STREQUAL \"flags of a custom build type set in a folder\")
  string(APPEND CMAKE_CXX_FLAGS_PROFILE \" -D${macro}\")
endif()
add_library(part STATIC part.cpp)
add_library(part_users INTERFACE)
target_link_libraries(part PRIVATE part_users)
if(SCRATCH_WAY STREQUAL \"target definition\")
  target_compile_definitions(part PRIVATE ${macro}=1)
elseif(SCRATCH_WAY STREQUAL \"definition for a target's users, under one build type\")
  target_compile_definitions(part_users INTERFACE $<$<CONFIG:Profile>:${macro}>)
elseif(SCRATCH_WAY STREQUAL \"source definition\")
  set_source_files_properties(part.cpp PROPERTIES COMPILE_DEFINITIONS ${macro})
endif()
")

# The cases configure one folder in turn: the first configures it afresh (and finds the
# compilers), the others drop the flags, the build type and the way of the case before (CMake
# sets the flags again from their defaults and CFLAGS and CXXFLAGS) and reconfigure, which is
# quick. Inherited CFLAGS and CXXFLAGS are dropped. The output comes back on one line, as CMake
# wraps its messages.
function(configure_case label result_var output_var)
  cmake_parse_arguments(PARSE_ARGV 3 arg "" "" "ARGS;ENV")
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env --unset=CFLAGS --unset=CXXFLAGS ${arg_ENV}
            ${CMAKE_COMMAND} -S "${root}/source" -B "${root}/build" -G "${GENERATOR}"
            "-DCMAKE_C_COMPILER=${C_COMPILER}" "-DCMAKE_CXX_COMPILER=${CXX_COMPILER}"
            "-UCMAKE_*_FLAGS*" -UCMAKE_BUILD_TYPE -USCRATCH_WAY ${arg_ARGS}
    RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
  string(REGEX REPLACE "[ \t\r\n]+" " " out "${out}")
  set(${result_var} "${result}" PARENT_SCOPE)
  set(${output_var} "${out}" PARENT_SCOPE)
endfunction()

# where: what the refusal must name.
function(expect_refused label where)
  configure_case("${label}" result out ${ARGN})
  if(result EQUAL 0)
    message(SEND_ERROR "${label}: configured, expected a refusal")
  elseif(NOT out MATCHES "${macro} weakens the container's key derivation")
    message(SEND_ERROR "${label}: failed without the refusal; output:\n${out}")
  elseif(NOT out MATCHES "${where}")
    message(SEND_ERROR "${label}: the refusal does not name \"${where}\"; output:\n${out}")
  else()
    message(STATUS "${label}: refused")
  endif()
endfunction()

function(expect_configured label)
  configure_case("${label}" result out ${ARGN})
  if(NOT result EQUAL 0)
    message(SEND_ERROR "${label}: refused, expected to configure; output:\n${out}")
  else()
    message(STATUS "${label}: configured")
  endif()
endfunction()

# First, so that CXXFLAGS meets a folder never configured.
expect_refused("CXXFLAGS in the environment" "cache variable CMAKE_CXX_FLAGS" ENV "CXXFLAGS=-D${macro}")
expect_configured("no macro, Debug" ARGS -DCMAKE_BUILD_TYPE=Debug)
expect_configured("no macro, the custom build type Profile" ARGS -DCMAKE_BUILD_TYPE=Profile
                  "-DCMAKE_CXX_FLAGS_PROFILE=-O2 -g")

expect_refused("CMAKE_CXX_FLAGS" "cache variable CMAKE_CXX_FLAGS" ARGS "-DCMAKE_CXX_FLAGS=-O1 -D${macro}")
expect_refused("CMAKE_C_FLAGS" "cache variable CMAKE_C_FLAGS" ARGS "-DCMAKE_C_FLAGS=-D${macro}=1")
expect_refused("CMAKE_CXX_FLAGS_RELEASE, selected" "cache variable CMAKE_CXX_FLAGS_RELEASE"
               ARGS -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O3 -D${macro}")
expect_refused("CMAKE_CXX_FLAGS_RELWITHDEBINFO, not selected" "cache variable CMAKE_CXX_FLAGS_RELWITHDEBINFO"
               ARGS -DCMAKE_BUILD_TYPE=Debug "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-D${macro}")
expect_refused("the custom build type Profile" "cache variable CMAKE_CXX_FLAGS_PROFILE"
               ARGS -DCMAKE_BUILD_TYPE=Profile "-DCMAKE_CXX_FLAGS_PROFILE=-D${macro}")
expect_refused("CMAKE_C_FLAGS of a custom build type, none selected" "cache variable CMAKE_C_FLAGS_COVERAGE"
               ARGS "-DCMAKE_C_FLAGS_COVERAGE=--coverage -D${macro}")
expect_refused("CFLAGS in the environment" "cache variable CMAKE_C_FLAGS" ENV "CFLAGS=-g -D${macro}")
expect_refused("add_compile_definitions in a folder" "COMPILE_DEFINITIONS of the folder .*/part"
               ARGS "-DSCRATCH_WAY=folder definition")
expect_refused("add_compile_options in a folder" "COMPILE_OPTIONS of the folder .*/part"
               ARGS "-DSCRATCH_WAY=folder option")
expect_refused("flags of a custom build type set in a folder" "variable CMAKE_CXX_FLAGS_PROFILE in .*/part"
               ARGS "-DSCRATCH_WAY=flags of a custom build type set in a folder")
expect_refused("target_compile_definitions" "COMPILE_DEFINITIONS of the target part"
               ARGS "-DSCRATCH_WAY=target definition")
expect_refused("a definition for a target's users, under one build type"
               "INTERFACE_COMPILE_DEFINITIONS of the target part_users"
               ARGS "-DSCRATCH_WAY=definition for a target's users, under one build type")
expect_refused("a source's COMPILE_DEFINITIONS" "COMPILE_DEFINITIONS of .*/part/part.cpp in the target part"
               ARGS "-DSCRATCH_WAY=source definition")

# The project's own fuzz build (configured with the compilers at hand, which configuring does not
# run) makes no program: every executable or shared library it defines is a fuzz target. CMake's
# file-based API lists the targets.
set(fuzz_build "${root}/project-fuzz")
file(WRITE "${fuzz_build}/.cmake/api/v1/query/codemodel-v2" "")
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env --unset=CFLAGS --unset=CXXFLAGS
          ${CMAKE_COMMAND} -S "${SOURCE_DIR}" -B "${fuzz_build}" -G "${GENERATOR}"
          "-DCMAKE_C_COMPILER=${C_COMPILER}" "-DCMAKE_CXX_COMPILER=${CXX_COMPILER}"
          -DCORVANE_FUZZ=ON -DBUILD_TESTING=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
file(GLOB index "${fuzz_build}/.cmake/api/v1/reply/index-*.json")
if(NOT result EQUAL 0 OR NOT index)
  message(SEND_ERROR "the fuzz build did not configure; output:\n${out}")
else()
  set(reply "${fuzz_build}/.cmake/api/v1/reply")
  file(READ "${index}" json)
  string(JSON codemodel_file GET "${json}" reply codemodel-v2 jsonFile)
  file(READ "${reply}/${codemodel_file}" codemodel)
  string(JSON target_count LENGTH "${codemodel}" configurations 0 targets)
  math(EXPR last "${target_count} - 1")
  set(fuzzers "")
  set(strays "")
  foreach(i RANGE ${last})
    string(JSON name GET "${codemodel}" configurations 0 targets ${i} name)
    string(JSON target_file GET "${codemodel}" configurations 0 targets ${i} jsonFile)
    file(READ "${reply}/${target_file}" target)
    string(JSON type GET "${target}" type)
    if(type MATCHES "^(EXECUTABLE|SHARED_LIBRARY|MODULE_LIBRARY)$")
      if(name MATCHES "Fuzzer$")
        list(APPEND fuzzers ${name})
      else()
        list(APPEND strays "${type} ${name}")
      endif()
    endif()
  endforeach()
  if(strays)
    message(SEND_ERROR "the fuzz build defines more than the fuzz targets: ${strays}")
  elseif(NOT fuzzers)
    message(SEND_ERROR "the fuzz build defines no fuzz target")
  else()
    message(STATUS "the fuzz build defines the fuzz targets alone: ${fuzzers}")
  endif()
endif()

# The sources that belong to a program alone stop at once under the macro, whatever the flags.
foreach(source src/dialer/main.cpp src/dialer/DialerEntry.cpp src/dialer/VpnConnectManagerX64.cpp
               tools/corvane/main.cpp)
  execute_process(COMMAND ${CXX_COMPILER} -std=c++20 -E -D${macro} -I${SOURCE_DIR}/src "${SOURCE_DIR}/${source}"
                  RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE out)
  if(result EQUAL 0)
    message(SEND_ERROR "${source}: preprocessed under ${macro}, expected it to refuse")
  elseif(NOT out MATCHES "#error \"${macro} weakens the key derivation: no program is built with it\"")
    message(SEND_ERROR "${source}: failed without the refusal; output:\n${out}")
  else()
    message(STATUS "${source}: refuses")
  endif()
endforeach()

file(REMOVE_RECURSE "${root}")
