# cmake -D HELP2MAN=<help2man> -D PROGRAM=<executable> -D DESCRIPTION=<one line>
#   -D OUTPUT=<page.1> [-D INCLUDE=<file.h2m>] -P ManualPage.cmake
# A program's manual page made from its --help and --version (help2man), so that the two
# cannot disagree. The help's "Exit status:" paragraph becomes the page's EXIT STATUS section;
# INCLUDE adds sections the help does not hold (SEE ALSO). The program runs without HOME and
# XDG_CONFIG_HOME, so that paths it names under them read "~" rather than the builder's home.
set(args --no-info --section=1 --source=Quorvel "--name=${DESCRIPTION}")
if(INCLUDE)
  list(APPEND args --include=${INCLUDE})
endif()
get_filename_component(folder ${OUTPUT} DIRECTORY)
file(MAKE_DIRECTORY ${folder})
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env --unset=HOME --unset=XDG_CONFIG_HOME ASAN_OPTIONS=detect_leaks=0
    ${HELP2MAN} ${args} --output=${OUTPUT}.new ${PROGRAM}
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  file(REMOVE ${OUTPUT}.new)
  message(FATAL_ERROR "help2man failed on ${PROGRAM}")
endif()
file(READ ${OUTPUT}.new page)
string(REPLACE "\n.SS \"Exit status:\"\n" "\n.SH \"EXIT STATUS\"\n" page "${page}")
file(WRITE ${OUTPUT}.new "${page}")
file(RENAME ${OUTPUT}.new ${OUTPUT})
