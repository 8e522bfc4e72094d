# Runs check_layers.cmake over small trees of one include each and fails when its verdict is not
# the expected one: the check must refuse every kind of upward include, not only pass today's tree.
#
#   cmake -DCHECK=<check_layers.cmake> -DWORK=<scratch directory> -P check_layers_cases.cmake

# file | include | expected verdict
set(cases
    "values/a.h|kernels/b.h|refused"
    "kernels/a.cpp|database/b.h|refused"
    "database/a.cpp|api/b.h|refused"
    "database/a.cpp|summary/b.h|refused"
    "join/a.cpp|summary/b.h|refused"
    "import/a.cpp|api/b.h|refused"
    "foundation/a.cpp|../values/b.h|refused"
    "api/ops/a.cpp|database/b.h|accepted"
    "sharing/a.cpp|database/b.h|accepted"
    "values/a.cpp|values/b.h|accepted"
    "tests/values/a_test.cpp|kernels/b.h|refused"
    "tests/values/a_test.cpp|tests/database/b.h|refused"
    "tests/kernels/a_test.cpp|values/b.h|accepted"
    "tests/database/a_test.cpp|kernels/b.h|accepted"
    "tests/database/a_test.cpp|tests/values/b.h|accepted"
    "tests/api/internal/a_test.cpp|api/ops/b.h|accepted"
    "tests/foundation/a_test.cpp|tests/support/test_support.h|accepted")

set(failures "")
set(index 0)
foreach(entry IN LISTS cases)
  string(REPLACE "|" ";" parts "${entry}")
  list(GET parts 0 source)
  list(GET parts 1 included)
  list(GET parts 2 want)
  math(EXPR index "${index} + 1")
  set(tree "${WORK}/case${index}")
  file(REMOVE_RECURSE "${tree}")
  file(WRITE "${tree}/${source}" "#include \"${included}\"\n")
  execute_process(COMMAND ${CMAKE_COMMAND} -DROOT=${tree} -P ${CHECK}
                  RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE err)
  # A refusal counts only when it names the file: a script error is no verdict.
  string(FIND "${err}" "${source}: #include" named)
  if(status EQUAL 0)
    set(got accepted)
  elseif(NOT named EQUAL -1)
    set(got refused)
  else()
    set(got "an error (${err})")
  endif()
  if(NOT got STREQUAL want)
    list(APPEND failures "${source} including \"${included}\": ${got}, expected ${want}")
  endif()
endforeach()
file(REMOVE_RECURSE "${WORK}")

if(failures)
  string(REPLACE ";" "\n  " listed "${failures}")
  message(FATAL_ERROR "check_layers gave the wrong verdict:\n  ${listed}")
endif()
