# The fuzz build's own settings. FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION makes the container's
# key derivation cheap (and weak) and the cipher's chunks small, so that the fuzz targets spend
# their time in the code after the derivation. Only the fuzz build (CORVANE_FUZZ=ON) may define
# it; any other build that carries it in its flags is refused.

if(CORVANE_FUZZ)
  if(BUILD_TESTING)
    message(FATAL_ERROR "CORVANE_FUZZ=ON stretches the container key once instead of 2048 times, so the "
                        "tests cannot pass in that build; configure it with -DBUILD_TESTING=OFF "
                        "(scripts/fuzz does).")
  endif()
  add_compile_definitions(FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION)
  add_compile_options(-fsanitize-coverage-ignorelist=${PROJECT_SOURCE_DIR}/fuzz/coverage-ignorelist.txt
                      -fsanitize-ignorelist=${PROJECT_SOURCE_DIR}/fuzz/ubsan-ignorelist.txt)
  return()
endif()

get_directory_property(corvane_definitions COMPILE_DEFINITIONS)
get_directory_property(corvane_options COMPILE_OPTIONS)
set(corvane_flags "${corvane_definitions};${corvane_options}")
foreach(language C CXX)
  foreach(config "" _DEBUG _RELEASE _RELWITHDEBINFO _MINSIZEREL)
    string(APPEND corvane_flags ";${CMAKE_${language}_FLAGS${config}}")
  endforeach()
endforeach()
if(corvane_flags MATCHES "FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION")
  message(FATAL_ERROR "FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION weakens the container's key derivation and "
                      "belongs to the fuzz build alone (CORVANE_FUZZ=ON); remove it from the flags of this "
                      "build.")
endif()
