# The two constant pieces of the minute key. A deployment that must talk to an existing
# launching program sets both when it configures. Each is exactly 13 printable ASCII
# characters (U+0021 to U+007E); they reach the code as escaped C++ string literals through
# a generated header, so quotes, backslashes and shell or CMake punctuation are all fine.

# Stops configuring unless value is exactly 13 characters from U+0021 to U+007E. The character
# test comes first: CMake counts bytes, so a non-ASCII character would otherwise show up as a
# puzzling length.
function(corvane_check_key_piece name value)
  if(NOT "${value}" MATCHES "^[!-~]*$")
    message(FATAL_ERROR "${name} must be exactly 13 printable ASCII characters (U+0021 to U+007E); "
                        "it contains a space, a control character or a non-ASCII character.")
  endif()
  string(LENGTH "${value}" length)
  if(NOT length EQUAL 13)
    message(FATAL_ERROR "${name} must be exactly 13 printable ASCII characters (U+0021 to U+007E); "
                        "it has ${length}.")
  endif()
endfunction()

# Escapes a value for use inside a C++ u"..." literal: every character becomes \xNN so that
# nothing in it can end the literal, start an escape or form a trigraph.
function(corvane_cxx_literal out value)
  set(result "")
  string(LENGTH "${value}" length)
  math(EXPR last "${length} - 1")
  foreach(i RANGE 0 ${last})
    string(SUBSTRING "${value}" ${i} 1 ch)
    string(HEX "${ch}" hex)
    string(APPEND result "\\x${hex}")
  endforeach()
  set(${out} "u\"${result}\"" PARENT_SCOPE)
endfunction()

# A script (cmake -P) includes this file for the functions alone.
if(CMAKE_SCRIPT_MODE_FILE)
  return()
endif()

# The development pieces: a dialer built with them rejects every block of a real launching program.
set(CORVANE_DEVELOPMENT_PIECE_A "k7#Qv2;Rm9^Lx")
set(CORVANE_DEVELOPMENT_PIECE_B "P4&dW8\\zN1$Fh")
set(CORVANE_MINUTE_KEY_PIECE_A "${CORVANE_DEVELOPMENT_PIECE_A}" CACHE STRING "Minute key constant piece A (13 printable ASCII characters)")
set(CORVANE_MINUTE_KEY_PIECE_B "${CORVANE_DEVELOPMENT_PIECE_B}" CACHE STRING "Minute key constant piece B (13 printable ASCII characters)")

corvane_check_key_piece(CORVANE_MINUTE_KEY_PIECE_A "${CORVANE_MINUTE_KEY_PIECE_A}")
corvane_check_key_piece(CORVANE_MINUTE_KEY_PIECE_B "${CORVANE_MINUTE_KEY_PIECE_B}")
corvane_cxx_literal(CORVANE_PIECE_A_LITERAL "${CORVANE_MINUTE_KEY_PIECE_A}")
corvane_cxx_literal(CORVANE_PIECE_B_LITERAL "${CORVANE_MINUTE_KEY_PIECE_B}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/MinuteKeyPieces.h.in ${CMAKE_BINARY_DIR}/generated/CorvaneUtil/MinuteKeyPieces.h @ONLY)

if(CORVANE_MINUTE_KEY_PIECE_A STREQUAL CORVANE_DEVELOPMENT_PIECE_A OR
   CORVANE_MINUTE_KEY_PIECE_B STREQUAL CORVANE_DEVELOPMENT_PIECE_B)
  set(CORVANE_DEVELOPMENT_KEY_PIECES ON)
  message(WARNING "This build uses a development minute key piece: its dialer rejects every parameter block of a "
                  "real launching program. Set CORVANE_MINUTE_KEY_PIECE_A and CORVANE_MINUTE_KEY_PIECE_B for a "
                  "deployment.")
else()
  set(CORVANE_DEVELOPMENT_KEY_PIECES OFF)
endif()
