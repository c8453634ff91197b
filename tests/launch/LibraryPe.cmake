# Checks a built CorvaneLaunch.dll without running it: the machine it is for, imports from
# Windows' own DLLs only (it is carried beside a program, with no runtime DLLs of its own), the
# version resource, and plain export names (no __stdcall decoration such as _corvane_dial@24).
# With NM and IMPORT_LIBRARIES (a list), also the import libraries: on x86 each maps the __stdcall
# symbol a caller asks for (__imp__corvane_dial@24) to the DLL's plain name.
# Usage: cmake -DOBJDUMP=<objdump> -DLIBRARY=<dll> -DMACHINE=x64|x86 [-DNM=<nm>
#              "-DIMPORT_LIBRARIES=<lib>;<lib>"] -P LibraryPe.cmake
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND ${OBJDUMP} -p ${LIBRARY} OUTPUT_VARIABLE headers RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "objdump failed on ${LIBRARY}")
endif()

if(MACHINE STREQUAL "x86")
  set(format "pei-i386")
else()
  set(format "pei-x86-64")
endif()
if(NOT headers MATCHES "file format ${format}")
  message(FATAL_ERROR "${LIBRARY} is not ${format}")
endif()
if(NOT headers MATCHES "Characteristics 0x[0-9a-f]*[2367abef][0-9a-f][0-9a-f][0-9a-f]\n")
  message(FATAL_ERROR "${LIBRARY} is not marked as a DLL")
endif()

set(windows_dlls kernel32.dll msvcrt.dll ntdll.dll bcrypt.dll advapi32.dll user32.dll shell32.dll)
string(REGEX MATCHALL "DLL Name: [^\r\n]+" imports "${headers}")
foreach(import IN LISTS imports)
  string(REGEX REPLACE "DLL Name: " "" dll "${import}")
  string(STRIP "${dll}" dll)
  string(TOLOWER "${dll}" dll)
  if(NOT dll IN_LIST windows_dlls)
    message(FATAL_ERROR "${LIBRARY} imports ${dll}, which is not one of Windows' own DLLs")
  endif()
endforeach()

if(headers MATCHES "\\] _?corvane_[a-z_]+@[0-9]+")
  message(FATAL_ERROR "${LIBRARY} exports decorated names")
endif()

# The version resource: its strings are UTF-16LE in .rsrc.
file(READ ${LIBRARY} bytes HEX)
foreach(text "CorvaneLaunch.dll" "FileVersion")
  string(HEX "${text}" hex)
  string(REGEX REPLACE "(..)" "\\100" utf16 "${hex}")
  string(FIND "${bytes}" "${utf16}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${LIBRARY} has no version resource (no \"${text}\")")
  endif()
endforeach()
set(stdcall_symbols __imp__corvane_abi_version@0 __imp__corvane_make_block@24 __imp__corvane_read_block@24
    __imp__corvane_dial@24 __imp__corvane_explain@12 __imp__corvane_error_text@4 __imp__corvane_wipe@8)
foreach(import_library IN LISTS IMPORT_LIBRARIES)
  execute_process(COMMAND ${NM} ${import_library} OUTPUT_VARIABLE symbols RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "nm failed on ${import_library}")
  endif()
  if(MACHINE STREQUAL "x86")
    foreach(symbol IN LISTS stdcall_symbols)
      string(FIND "${symbols}" " ${symbol}\n" at)
      if(at EQUAL -1)
        message(FATAL_ERROR "${import_library} lacks the __stdcall import ${symbol}")
      endif()
    endforeach()
  elseif(NOT symbols MATCHES " __imp_corvane_dial\n")
    message(FATAL_ERROR "${import_library} lacks the import __imp_corvane_dial")
  endif()
endforeach()

message(STATUS "${LIBRARY}: ${format}, imports only Windows DLLs, plain exports, version resource")
