# QUORVEL_TESTS_OPTIMIZE: an optimisation level (-O0, -O1, -O2, -O3, -Og or -Os) for the test
# programs' own sources and their support libraries, given after the build type's flags so that
# it wins. Empty (the default): the build type's level, as for everything else.
# The sanitizer builds of scripts/test.sh set -Og: instrumented GoogleTest files with their
# harnesses compile in about two thirds of the time at -Og, and the project's libraries and
# programs, which the tests exercise, keep the build type's level and the same instrumentation.
set(QUORVEL_TESTS_OPTIMIZE "" CACHE STRING
  "Optimisation level for the tests' own sources (-O0..-O3, -Og, -Os); empty: the build type's")
if(QUORVEL_TESTS_OPTIMIZE)
  if(NOT QUORVEL_TESTS_OPTIMIZE MATCHES "^-O[0123gs]$")
    message(FATAL_ERROR
      "QUORVEL_TESTS_OPTIMIZE is '${QUORVEL_TESTS_OPTIMIZE}': use one of -O0 -O1 -O2 -O3 -Og -Os")
  endif()
  add_compile_options(${QUORVEL_TESTS_OPTIMIZE})
endif()
