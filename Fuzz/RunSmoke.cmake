# One fuzz-smoke run:
#   cmake -DFUZZER=<fuzz target> -DWORK=<scratch dir> [-DREGRESSIONS=<dir>] [-DCORPUS=<dir>]
#         -P RunSmoke.cmake -- <seed dir> [libFuzzer options...]
#
# Replays every input kept in REGRESSIONS (when there are any), then runs the fuzzer over the
# committed CORPUS and the seeds, which it replays whole before it fuzzes from them, keeping new
# inputs in a scratch corpus in WORK and never writing to the others. Crashes land in
# WORK/artifacts.

foreach(required FUZZER WORK)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "RunSmoke.cmake: -D${required}=... is missing")
  endif()
endforeach()

set(after_separator OFF)
set(seeds "")
set(options "")
math(EXPR last "${CMAKE_ARGC} - 1")
foreach(i RANGE ${last})
  set(arg "${CMAKE_ARGV${i}}")
  if(after_separator)
    if(seeds STREQUAL "")
      set(seeds "${arg}")
    else()
      list(APPEND options "${arg}")
    endif()
  elseif(arg STREQUAL "--")
    set(after_separator ON)
  endif()
endforeach()
if(seeds STREQUAL "" OR NOT IS_DIRECTORY "${seeds}")
  message(FATAL_ERROR "RunSmoke.cmake: no seed directory given after --, or it does not exist: '${seeds}'")
endif()

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/corpus" "${WORK}/artifacts")

if(DEFINED REGRESSIONS AND IS_DIRECTORY "${REGRESSIONS}")
  file(GLOB regression_inputs LIST_DIRECTORIES false "${REGRESSIONS}/*")
  list(FILTER regression_inputs EXCLUDE REGEX "/README[^/]*$")
  if(regression_inputs)
    list(LENGTH regression_inputs count)
    message(STATUS "Replaying ${count} kept input(s) from ${REGRESSIONS}")
    execute_process(
      COMMAND "${FUZZER}" "-artifact_prefix=${WORK}/artifacts/" ${regression_inputs}
      RESULT_VARIABLE replay_status)
    if(NOT replay_status EQUAL 0)
      message(FATAL_ERROR "A kept input of ${REGRESSIONS} fails again (status ${replay_status})")
    endif()
  endif()
endif()

set(inputs "${WORK}/corpus")
if(DEFINED CORPUS AND IS_DIRECTORY "${CORPUS}")
  list(APPEND inputs "${CORPUS}")
endif()
list(APPEND inputs "${seeds}")
execute_process(
  COMMAND "${FUZZER}" ${options} "-artifact_prefix=${WORK}/artifacts/" ${inputs}
  RESULT_VARIABLE fuzz_status)
if(NOT fuzz_status EQUAL 0)
  message(FATAL_ERROR "${FUZZER} failed (status ${fuzz_status}); the input is in ${WORK}/artifacts")
endif()
