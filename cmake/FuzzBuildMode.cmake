# The fuzz build's own settings. FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION makes the container's
# key derivation cheap (and weak) and the cipher's chunks small, so that the fuzz targets spend
# their time in the code after the derivation. Only the fuzz build (CORVANE_FUZZ=ON) defines it,
# and that build makes the fuzz targets and the libraries they link, nothing else: no program,
# test or benchmark. The programs' own sources refuse to compile under it besides.
#
# Any other build that carries the macro is refused at the end of configuring, whichever way it
# came: a variable of CMake's (CMAKE_<LANG>_FLAGS and the flags of every build type, custom ones
# like Profile included, whichever is selected; the compiler and its launcher; CFLAGS and CXXFLAGS
# from the environment, which land in CMAKE_<LANG>_FLAGS), or a compile definition, option or flag
# of a folder, a target, a target's users or a single source.

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

# Adds where to found_var when value carries the macro.
function(corvane_note_fuzz_macro found_var where value)
  if("${value}" MATCHES "FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION")
    set(${found_var} "${${found_var}}\n  ${where}" PARENT_SCOPE)
  endif()
endfunction()

# Walks every folder of the build, once all of them are configured.
function(corvane_refuse_fuzz_macro)
  set(found "")
  # A variable is named once, though each folder below the one that sets it inherits it.
  set(named "")
  get_cmake_property(cached CACHE_VARIABLES)
  foreach(name IN LISTS cached)
    if(name MATCHES "^CMAKE_" AND "$CACHE{${name}}" MATCHES "FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION")
      string(APPEND found "\n  cache variable ${name}")
      list(APPEND named ${name})
    endif()
  endforeach()

  set(folders "${CMAKE_SOURCE_DIR}")
  while(folders)
    list(POP_FRONT folders folder)
    get_directory_property(subfolders DIRECTORY "${folder}" SUBDIRECTORIES)
    list(APPEND folders ${subfolders})

    get_directory_property(names DIRECTORY "${folder}" VARIABLES)
    foreach(name IN LISTS names)
      if(name MATCHES "^CMAKE_" AND NOT name IN_LIST named)
        get_directory_property(value DIRECTORY "${folder}" DEFINITION "${name}")
        if("${value}" MATCHES "FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION")
          string(APPEND found "\n  variable ${name} in ${folder}")
          list(APPEND named ${name})
        endif()
      endif()
    endforeach()
    foreach(property COMPILE_DEFINITIONS COMPILE_OPTIONS)
      get_directory_property(value DIRECTORY "${folder}" ${property})
      corvane_note_fuzz_macro(found "${property} of the folder ${folder}" "${value}")
    endforeach()

    get_directory_property(targets DIRECTORY "${folder}" BUILDSYSTEM_TARGETS)
    get_directory_property(imported DIRECTORY "${folder}" IMPORTED_TARGETS)
    # An imported target of a folder below is seen only there; what it carries comes from the
    # package that defines it, not from this build's settings.
    foreach(target IN LISTS targets imported)
      if(NOT TARGET ${target})
        continue()
      endif()
      foreach(property COMPILE_DEFINITIONS COMPILE_OPTIONS COMPILE_FLAGS INTERFACE_COMPILE_DEFINITIONS
                       INTERFACE_COMPILE_OPTIONS C_COMPILER_LAUNCHER CXX_COMPILER_LAUNCHER)
        get_target_property(value ${target} ${property})
        corvane_note_fuzz_macro(found "${property} of the target ${target}" "${value}")
      endforeach()
    endforeach()
    foreach(target IN LISTS targets)
      get_target_property(sources ${target} SOURCES)
      if(NOT sources)
        continue()
      endif()
      get_target_property(target_folder ${target} SOURCE_DIR)
      foreach(source IN LISTS sources)
        if(source MATCHES "^\\$<")
          continue()
        endif()
        # Relative to the target's folder, not to this one.
        cmake_path(ABSOLUTE_PATH source BASE_DIRECTORY "${target_folder}")
        foreach(property COMPILE_DEFINITIONS COMPILE_OPTIONS COMPILE_FLAGS)
          get_source_file_property(value "${source}" TARGET_DIRECTORY ${target} ${property})
          corvane_note_fuzz_macro(found "${property} of ${source} in the target ${target}" "${value}")
        endforeach()
      endforeach()
    endforeach()
  endwhile()

  if(found)
    message(FATAL_ERROR "FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION weakens the container's key derivation and "
                        "belongs to the fuzz build alone (CORVANE_FUZZ=ON); remove it from this build. Found in:"
                        "${found}")
  endif()
endfunction()

cmake_language(DEFER DIRECTORY "${CMAKE_SOURCE_DIR}" CALL corvane_refuse_fuzz_macro)
