# Checks the dialer's PE headers: Windows GUI subsystem, and imports from Windows' own DLLs only,
# none from rasapi32.dll, which is bound at first dial so the dialer starts, and logs, without it.
# Usage: cmake -DOBJDUMP=<objdump> -DPROGRAM=<CorvaneDialer.exe> -P DialerImports.cmake
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND ${OBJDUMP} -p ${PROGRAM} OUTPUT_VARIABLE headers RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "objdump failed on ${PROGRAM}")
endif()

if(NOT headers MATCHES "Subsystem[ \t]+0*2[ \t]+\\(Windows GUI\\)")
  message(FATAL_ERROR "${PROGRAM} is not a Windows GUI program")
endif()

set(windows_dlls kernel32.dll msvcrt.dll ntdll.dll bcrypt.dll advapi32.dll user32.dll gdi32.dll shell32.dll
    shlwapi.dll ole32.dll oleaut32.dll version.dll ws2_32.dll crypt32.dll)
string(REGEX MATCHALL "DLL Name: [^\r\n]+" imports "${headers}")
if(NOT imports)
  message(FATAL_ERROR "no imports found in ${PROGRAM}")
endif()
foreach(import IN LISTS imports)
  string(REGEX REPLACE "DLL Name: " "" dll "${import}")
  string(STRIP "${dll}" dll)
  string(TOLOWER "${dll}" dll)
  if(dll STREQUAL "rasapi32.dll")
    message(FATAL_ERROR "${PROGRAM} imports rasapi32.dll at load time")
  endif()
  if(NOT dll IN_LIST windows_dlls)
    message(FATAL_ERROR "${PROGRAM} imports ${dll}, which is not one of Windows' own DLLs")
  endif()
  message(STATUS "imports ${dll}")
endforeach()
