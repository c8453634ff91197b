# Runs the configure-time check of the minute key pieces on values that must be refused and on
# values that must pass. Each value is checked in a cmake -P run of its own, since a refusal
# ends the run. Arguments: -DPIECES_MODULE=<cmake/MinuteKeyPieces.cmake> -DWORK_DIR=<scratch dir>.
cmake_minimum_required(VERSION 3.25)

set(failures 0)
set(case_number 0)

# Writes a script that checks value (and forms its literal) and runs it.
function(run_check value result_var output_var)
  math(EXPR n "${case_number} + 1")
  set(case_number ${n} PARENT_SCOPE)
  set(script "${WORK_DIR}/piece_case_${n}.cmake")
  file(WRITE "${script}"
       "include([==[${PIECES_MODULE}]==])\n"
       "corvane_check_key_piece(CORVANE_MINUTE_KEY_PIECE_A [==[${value}]==])\n"
       "corvane_cxx_literal(literal [==[${value}]==])\n"
       "message(STATUS \"literal=\${literal}\")\n")
  execute_process(COMMAND ${CMAKE_COMMAND} -P "${script}" RESULT_VARIABLE result OUTPUT_VARIABLE out
                  ERROR_VARIABLE out)
  set(${result_var} "${result}" PARENT_SCOPE)
  set(${output_var} "${out}" PARENT_SCOPE)
endfunction()

function(expect_refused label value detail)
  run_check("${value}" result out)
  if(result EQUAL 0)
    message(SEND_ERROR "${label}: accepted, expected a refusal")
  elseif(NOT out MATCHES "CORVANE_MINUTE_KEY_PIECE_A must be exactly 13 printable ASCII characters")
    message(SEND_ERROR "${label}: refused without the message; output:\n${out}")
  elseif(NOT out MATCHES "${detail}")
    message(SEND_ERROR "${label}: message lacks \"${detail}\"; output:\n${out}")
  else()
    message(STATUS "${label}: refused as expected")
  endif()
  set(case_number ${case_number} PARENT_SCOPE)
endfunction()

function(expect_accepted label value expected_literal)
  run_check("${value}" result out)
  if(NOT result EQUAL 0)
    message(SEND_ERROR "${label}: refused, expected acceptance; output:\n${out}")
  elseif(NOT out MATCHES "literal=u\"${expected_literal}\"")
    message(SEND_ERROR "${label}: literal not as expected; output:\n${out}")
  else()
    message(STATUS "${label}: accepted as expected")
  endif()
  set(case_number ${case_number} PARENT_SCOPE)
endfunction()

expect_refused("twelve characters" [==[abcdefghijkl]==] "it has 12")
expect_refused("fourteen characters" [==[abcdefghijklmn]==] "it has 14")
expect_refused("empty" "" "it has 0")
expect_refused("a space" [==[abcdef ghijkl]==] "contains a space")
expect_refused("a tab" "abcdef\tghijkl" "contains a space")
expect_refused("non-ASCII" [==[abcdefghijklé]==] "non-ASCII")
expect_accepted("CMake and shell punctuation" [==[a"b\c#d;e$f&^]==]
                [==[\\x61\\x22\\x62\\x5c\\x63\\x23\\x64\\x3b\\x65\\x24\\x66\\x26\\x5e]==])
expect_accepted("edges of the printable range" [==[!~!~!~!~!~!~!]==]
                [==[\\x21\\x7e\\x21\\x7e\\x21\\x7e\\x21\\x7e\\x21\\x7e\\x21\\x7e\\x21]==])
