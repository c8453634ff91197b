# How the two shipped Windows programs, CorvaneDialer.exe and corvane.exe, are built for
# deployment: the same bytes from any build folder at any time, a version resource and an
# application manifest, debug information in a file of its own beside each program, and the MSI
# package (target `msi`), signed when a certificate is given. Each shipped program's folder calls
# corvane_ship_program(<target>), which does nothing outside the Windows build.

# Debug information is a property of what ships, not of a folder: every target that a shipped
# program or library is made of (its own sources and every library it links, however deep) is
# compiled with -g, line tables and types for support that land in the shipped file's separate
# debug file; -g changes no code. Linking a library into a shipped target is all it takes, so a
# new folder cannot leave its code without. corvane_ship_program calls this for the programs; the
# launching library calls it itself.
function(corvane_carry_debug_info target)
  set_property(GLOBAL APPEND PROPERTY CORVANE_SHIPPED_TARGETS ${target})
endfunction()

# Runs once every folder is configured: walks the link closure of each shipped target and gives
# every target in it that compiles sources -g.
function(corvane_add_debug_info_to_shipped_targets)
  get_property(pending GLOBAL PROPERTY CORVANE_SHIPPED_TARGETS)
  set(seen "")
  while(pending)
    list(POP_FRONT pending target)
    if(target IN_LIST seen OR NOT TARGET ${target})
      continue()  # a system library (bcrypt, ntdll) or a linker flag
    endif()
    list(APPEND seen ${target})
    get_target_property(aliased ${target} ALIASED_TARGET)
    if(aliased)
      list(APPEND pending ${aliased})
      continue()
    endif()
    get_target_property(imported ${target} IMPORTED)
    if(imported)
      continue()  # built elsewhere, with its own flags
    endif()
    get_target_property(type ${target} TYPE)
    set(links "")
    if(NOT type STREQUAL "INTERFACE_LIBRARY")
      set_property(TARGET ${target} APPEND PROPERTY COMPILE_OPTIONS -g)
      get_target_property(links ${target} LINK_LIBRARIES)
    endif()
    get_target_property(interface_links ${target} INTERFACE_LINK_LIBRARIES)
    foreach(link IN LISTS links interface_links)
      # A static library's private links reach its users as $<LINK_ONLY:...>.
      if(link MATCHES "^\\$<LINK_ONLY:([^>]+)>$")
        set(link ${CMAKE_MATCH_1})
      endif()
      # Links made from another folder carry that folder's marks (::@...) around them.
      if(link AND NOT link MATCHES "^(::@|\\$<)")
        list(APPEND pending ${link})
      endif()
    endforeach()
  endwhile()
endfunction()

if(CORVANE_WINDOWS)
  cmake_language(DEFER DIRECTORY "${CMAKE_SOURCE_DIR}" CALL corvane_add_debug_info_to_shipped_targets)
endif()

function(corvane_ship_program program)
  if(NOT CORVANE_WINDOWS)
    return()
  endif()
  corvane_carry_debug_info(${program})
  # Terminal-server aware, as Windows' own linkers mark a program by default: on a terminal server,
  # where most machines shared by several users are, an unaware program runs under a compatibility
  # layer that redirects its INI files and some registry keys into per-user copies. Neither
  # program needs that.
  target_link_options(${program} PRIVATE -Wl,--no-insert-timestamp -Wl,--tsaware)

  # Version resource and manifest.
  set(CORVANE_PROGRAM ${program})
  set(CORVANE_DESCRIPTION "${CORVANE_DESCRIPTION_${program}}")
  set(resource_dir ${CMAKE_BINARY_DIR}/generated/resources/${program})
  set(CORVANE_MANIFEST_FILE ${resource_dir}/${program}.exe.manifest)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/Application.manifest.in ${CORVANE_MANIFEST_FILE} @ONLY)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/VersionInfo.rc.in ${resource_dir}/${program}.rc @ONLY)
  target_sources(${program} PRIVATE ${resource_dir}/${program}.rc)
  set_source_files_properties(${resource_dir}/${program}.rc PROPERTIES OBJECT_DEPENDS ${CORVANE_MANIFEST_FILE})

  # The shipped program carries neither debug sections nor symbols; they go to <program>.exe.debug
  # beside it, which the program names in its .gnu_debuglink section together with that file's
  # CRC (so the debug file's bytes must be reproducible too). Debuggers look for it beside the
  # program. objcopy stamps the PE header with SOURCE_DATE_EPOCH, or else with the current time.
  set(objcopy ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${CORVANE_SOURCE_DATE_EPOCH} ${CMAKE_OBJCOPY})
  add_custom_command(TARGET ${program} POST_BUILD
    COMMAND ${objcopy} --only-keep-debug $<TARGET_FILE:${program}> $<TARGET_FILE:${program}>.debug
    COMMAND ${objcopy} --strip-all --add-gnu-debuglink=$<TARGET_FILE:${program}>.debug $<TARGET_FILE:${program}>
    VERBATIM)
endfunction()

if(NOT CORVANE_WINDOWS)
  return()
endif()

enable_language(RC)

# --- Version ---------------------------------------------------------------------------------
# Of the programs (version resource and manifest) and of the package. A later release, or the
# upgrade test, sets a higher one without touching a file: -DCORVANE_VERSION=1.0.1.
set(CORVANE_VERSION "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.0" CACHE STRING
    "Version of the Windows programs and their MSI package (major.minor.build)")
if(NOT CORVANE_VERSION MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)$")
  message(FATAL_ERROR "CORVANE_VERSION must read major.minor.build, for example 1.0.0; it is \"${CORVANE_VERSION}\".")
endif()
set(CORVANE_VERSION_MAJOR ${CMAKE_MATCH_1})
set(CORVANE_VERSION_MINOR ${CMAKE_MATCH_2})
set(CORVANE_VERSION_BUILD ${CMAKE_MATCH_3})
# Windows Installer compares only these three fields, within these limits.
if(CORVANE_VERSION_MAJOR GREATER 255 OR CORVANE_VERSION_MINOR GREATER 255 OR CORVANE_VERSION_BUILD GREATER 65535)
  message(FATAL_ERROR "CORVANE_VERSION ${CORVANE_VERSION} is out of range: at most 255.255.65535.")
endif()

# --- Time stamps ----------------------------------------------------------------------------
# The PE headers and the package carry the commit time: SOURCE_DATE_EPOCH when it is set, else
# the time of the source folder's last commit, else 0.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(CORVANE_SOURCE_DATE_EPOCH "$ENV{SOURCE_DATE_EPOCH}")
else()
  execute_process(COMMAND git -C ${PROJECT_SOURCE_DIR} log -1 --format=%ct OUTPUT_VARIABLE CORVANE_SOURCE_DATE_EPOCH
                  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE git_result)
  if(NOT git_result EQUAL 0 OR CORVANE_SOURCE_DATE_EPOCH STREQUAL "")
    set(CORVANE_SOURCE_DATE_EPOCH 0)
  endif()
endif()
if(NOT CORVANE_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
  message(FATAL_ERROR "SOURCE_DATE_EPOCH must be a number of seconds; it is \"${CORVANE_SOURCE_DATE_EPOCH}\".")
endif()

# --- Reproducible objects --------------------------------------------------------------------
# No source or build folder in any object (file names in debug information and macros). The build
# folder is named last so that it wins when it lies inside the source folder.
add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}=corvane -ffile-prefix-map=${PROJECT_BINARY_DIR}=corvane/build)

set(CORVANE_PRODUCT_NAME "Corvane Dialer")
set(CORVANE_MANUFACTURER "Orvex")
set(CORVANE_DESCRIPTION_CorvaneDialer "Corvane VPN dialer")
set(CORVANE_DESCRIPTION_corvane "Corvane parameter block and error log tool")

# --- The MSI package -------------------------------------------------------------------------
option(CORVANE_ALLOW_DEVELOPMENT_KEY_PIECES
       "Let the MSI package be built with the development minute key pieces (tests only)" OFF)
set(CORVANE_SIGNING_PKCS12 "" CACHE FILEPATH
    "PKCS#12 file with the code-signing certificate and key; empty: the package and programs are not signed")
set(CORVANE_SIGNING_PASSWORD_VARIABLE "CORVANE_SIGNING_PASSWORD" CACHE STRING
    "Environment variable that holds the PKCS#12 file's password while the package is built")
# Empty: the environment variable of the same name, read when the package is built, gives it.
set(CORVANE_SIGNING_TIMESTAMP_URL "" CACHE STRING
    "RFC 3161 time-stamp authority that counter-signs every signature; empty: CORVANE_SIGNING_TIMESTAMP_URL from the environment, or none")

# The package's language: its database's code page and language, and the texts Windows Installer
# and Add/Remove Programs show. en: code page 1252, language 1033; ja: code page 932, language 1041.
set(CORVANE_PACKAGE_LANGUAGE "en" CACHE STRING "Language of the MSI package: en or ja")
set_property(CACHE CORVANE_PACKAGE_LANGUAGE PROPERTY STRINGS en ja)
if(NOT CORVANE_PACKAGE_LANGUAGE MATCHES "^(en|ja)$")
  message(FATAL_ERROR "CORVANE_PACKAGE_LANGUAGE is \"${CORVANE_PACKAGE_LANGUAGE}\"; it is en or ja.")
endif()

# What Add/Remove Programs shows, and inventory tools read, besides the name, version and
# manufacturer: where to get help, what the product is, whom to ask. Placeholders (example.
# names) until a deployment configures its own.
set(CORVANE_ARP_HELP_LINK "https://support.orvex.example/corvane-dialer" CACHE STRING
    "Help link of the installed product in Add/Remove Programs (ARPHELPLINK)")
set(CORVANE_ARP_ABOUT_LINK "https://www.orvex.example/corvane-dialer" CACHE STRING
    "About link of the installed product in Add/Remove Programs (ARPURLINFOABOUT)")
# The contact's default is in the package's language, as it stands when the cache is first made.
if(CORVANE_PACKAGE_LANGUAGE STREQUAL "ja")
  set(default_contact "Orvex サポート窓口")
else()
  set(default_contact "Orvex support desk")
endif()
set(CORVANE_ARP_CONTACT "${default_contact}" CACHE STRING
    "Contact of the installed product in Add/Remove Programs (ARPCONTACT)")
foreach(arp CORVANE_ARP_HELP_LINK CORVANE_ARP_ABOUT_LINK CORVANE_ARP_CONTACT)
  if("${${arp}}" STREQUAL "")
    message(FATAL_ERROR "${arp} must not be empty: Windows Installer properties have values.")
  endif()
endforeach()
foreach(arp CORVANE_ARP_HELP_LINK CORVANE_ARP_ABOUT_LINK)
  if("${${arp}}" MATCHES "^[A-Za-z]+://[^/]*\\.example([:/].*)?$")
    message(WARNING "${arp} is the placeholder ${${arp}}: users who look there for help find nothing. Set it for a deployment.")
  endif()
endforeach()

# The error log folder's permissions: the commented packaging/ErrorLogFolder.sddl joined into the
# one SDDL string that the package carries and the permission test reads back.
set(CORVANE_LOG_FOLDER_SDDL_SOURCE ${PROJECT_SOURCE_DIR}/packaging/ErrorLogFolder.sddl)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CORVANE_LOG_FOLDER_SDDL_SOURCE})
file(READ ${CORVANE_LOG_FOLDER_SDDL_SOURCE} sddl)
string(REGEX REPLACE "#[^\n]*" "" sddl "${sddl}")
string(REGEX REPLACE "[ \t\r\n]" "" sddl "${sddl}")
set(CORVANE_LOG_FOLDER_SDDL_FILE ${CMAKE_BINARY_DIR}/generated/ErrorLogFolder.sddl)
file(CONFIGURE OUTPUT ${CORVANE_LOG_FOLDER_SDDL_FILE} CONTENT "${sddl}\n" @ONLY)

# One UpgradeCode for every version; a product code of its own for each version, derived from
# the version so that every build of one version carries the same one.
set(CORVANE_UPGRADE_CODE "5C1E3A8B-2F4D-4B6A-9E07-3D8C1F2A6B94")
set(CORVANE_GUID_NAMESPACE "6F0D2B7E-91C4-4E5A-8B3F-0A7D5C2E9F18")
string(UUID CORVANE_PRODUCT_CODE NAMESPACE ${CORVANE_GUID_NAMESPACE} NAME "product ${CORVANE_VERSION}" TYPE SHA1
       UPPER)

if(CORVANE_PACKAGE_LANGUAGE STREQUAL "en")
  set(CORVANE_MSI_FILE ${CMAKE_BINARY_DIR}/package/CorvaneDialer-${CORVANE_VERSION}-x64.msi)
else()
  set(CORVANE_MSI_FILE ${CMAKE_BINARY_DIR}/package/CorvaneDialer-${CORVANE_VERSION}-x64-${CORVANE_PACKAGE_LANGUAGE}.msi)
endif()
if(CORVANE_DEVELOPMENT_KEY_PIECES AND NOT CORVANE_ALLOW_DEVELOPMENT_KEY_PIECES)
  add_custom_target(msi
    COMMAND ${CMAKE_COMMAND} -E echo
            "msi: refusing to package a dialer built with the development minute key pieces; it would reject every real parameter block. Configure CORVANE_MINUTE_KEY_PIECE_A and CORVANE_MINUTE_KEY_PIECE_B (or, for tests only, CORVANE_ALLOW_DEVELOPMENT_KEY_PIECES=ON)."
    COMMAND ${CMAKE_COMMAND} -E false
    VERBATIM)
else()
  # Runs on every build of the target: it takes seconds, and follows every change of the signing
  # settings without tracking them.
  add_custom_target(msi
    COMMAND ${PROJECT_SOURCE_DIR}/packaging/build-msi
            --wxs ${PROJECT_SOURCE_DIR}/packaging/CorvaneDialer.wxs
            --dialer $<TARGET_FILE:CorvaneDialer> --tool $<TARGET_FILE:corvane>
            --version ${CORVANE_VERSION} --product-code ${CORVANE_PRODUCT_CODE}
            --upgrade-code ${CORVANE_UPGRADE_CODE} --guid-namespace ${CORVANE_GUID_NAMESPACE}
            --epoch ${CORVANE_SOURCE_DATE_EPOCH} --stage ${CMAKE_BINARY_DIR}/package/stage
            --pkcs12 "${CORVANE_SIGNING_PKCS12}" --password-variable ${CORVANE_SIGNING_PASSWORD_VARIABLE}
            --timestamp-url "${CORVANE_SIGNING_TIMESTAMP_URL}" --language ${CORVANE_PACKAGE_LANGUAGE}
            --log-folder-sddl ${CORVANE_LOG_FOLDER_SDDL_FILE} --help-link "${CORVANE_ARP_HELP_LINK}"
            --about-link "${CORVANE_ARP_ABOUT_LINK}" --contact "${CORVANE_ARP_CONTACT}"
            --output ${CORVANE_MSI_FILE}
    VERBATIM)
  add_dependencies(msi CorvaneDialer corvane)
endif()
