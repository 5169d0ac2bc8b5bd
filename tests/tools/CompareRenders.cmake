# SPDX-License-Identifier: GPL-3.0-or-later
# Renders the same phrase with two vireon-render programs, raw float32 on standard output, and
# fails unless the two outputs are equal byte for byte.
#
#   cmake -DFIRST=<command|...> -DSECOND=<command|...> -DARGUMENTS=<argument|...> -DWORK=<folder>
#         -P CompareRenders.cmake
#
# Lists are separated by '|' (a ';' would not survive the way through add_test).
foreach(variable FIRST SECOND ARGUMENTS WORK)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "CompareRenders.cmake needs -D${variable}=...")
  endif()
endforeach()
string(REPLACE "|" ";" first "${FIRST}")
string(REPLACE "|" ";" second "${SECOND}")
string(REPLACE "|" ";" arguments "${ARGUMENTS}")
file(MAKE_DIRECTORY "${WORK}")

set(index 0)
foreach(program first second)
  math(EXPR index "${index} + 1")
  set(output "${WORK}/render-${index}.raw")
  execute_process(COMMAND ${${program}} ${arguments} -o -
    OUTPUT_FILE "${output}" ERROR_VARIABLE errors RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${${program}} ${arguments} -o - failed (${status}): ${errors}")
  endif()
  file(SIZE "${output}" size)
  if(size EQUAL 0)
    message(FATAL_ERROR "${${program}} wrote no samples")
  endif()
  list(APPEND outputs "${output}")
  list(APPEND sizes ${size})
endforeach()

execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files ${outputs} RESULT_VARIABLE differ)
if(NOT differ EQUAL 0)
  message(FATAL_ERROR "the renders differ (sizes ${sizes}): ${outputs}")
endif()
math(EXPR samples "${size} / 4")
message(STATUS "${samples} samples, equal byte for byte")
