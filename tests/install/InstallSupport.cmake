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

# The fenced code blocks of one language in a documentation page: how many there are, and
# the first one's text (read by position, so that semicolons in the code stay as they are).
function(quorvel_page_snippet page language count_out text_out)
  file(READ ${page} text)
  set(fence "```${language}\n")
  string(LENGTH "${fence}" fence_length)
  set(count 0)
  set(first "")
  while(TRUE)
    string(FIND "${text}" "${fence}" start)
    if(start EQUAL -1)
      break()
    endif()
    math(EXPR start "${start} + ${fence_length}")
    string(SUBSTRING "${text}" ${start} -1 text)
    string(FIND "${text}" "```" end)
    if(end EQUAL -1)
      break()
    endif()
    if(count EQUAL 0)
      string(SUBSTRING "${text}" 0 ${end} first)
    endif()
    math(EXPR count "${count} + 1")
    string(SUBSTRING "${text}" ${end} -1 text)
  endwhile()
  set(${count_out} ${count} PARENT_SCOPE)
  set(${text_out} "${first}" PARENT_SCOPE)
endfunction()
