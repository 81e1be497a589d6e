# Helpers of the install tests (script mode). quorvel_install_to_temporary_prefix sets `work`
# (a directory made by mktemp -d) and installs BUILD_DIR into ${work}/prefix.

function(quorvel_clean_up)
  if(work)
    file(REMOVE_RECURSE ${work})
  endif()
endfunction()

function(quorvel_fail message)
  quorvel_clean_up()
  message(FATAL_ERROR "${message}")
endfunction()

# Runs a command, shows its output, and fails (after removing the work directory) unless it
# exits with 0.
function(quorvel_run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  message("$ ${ARGN}\n${out}")
  if(NOT rc EQUAL 0)
    quorvel_fail("failed (${rc}): ${ARGN}")
  endif()
endfunction()

macro(quorvel_install_to_temporary_prefix var)
  execute_process(COMMAND mktemp -d --tmpdir quorvel-install.XXXXXX
    OUTPUT_VARIABLE work OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE _rc)
  if(NOT _rc EQUAL 0 OR NOT IS_DIRECTORY "${work}")
    message(FATAL_ERROR "cannot create a temporary directory")
  endif()
  set(${var} ${work}/prefix)
  quorvel_run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${work}/prefix)
endmacro()
