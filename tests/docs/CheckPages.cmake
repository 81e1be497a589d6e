# cmake -D SOURCE_DIR=... -P CheckPages.cmake
cmake_minimum_required(VERSION 3.16)
# What the pages promise their readers about themselves:
# * the README stays short (at most 150 lines) and opens with the two commands, unchanged:
#   the first indented lines are scripts/run.sh and then scripts/test.sh;
# * figures are given as the run gave them, with the machine described once at the top of the
#   performance page: no page remarks on the machine's load or on who else was using it.
set(failures)

file(STRINGS ${SOURCE_DIR}/README.md readme)
list(LENGTH readme lines)
if(lines GREATER 150)
  list(APPEND failures "README.md has ${lines} lines, more than 150")
endif()
set(commands)
foreach(line IN LISTS readme)
  if(line MATCHES "^    [^ ]")
    list(APPEND commands "${line}")
  endif()
endforeach()
list(LENGTH commands ncommands)
if(ncommands LESS 2)
  list(APPEND failures "README.md shows fewer than two commands")
else()
  list(GET commands 0 first)
  list(GET commands 1 second)
  if(NOT first MATCHES "^    scripts/run\\.sh +# " OR NOT second MATCHES "^    scripts/test\\.sh +# ")
    list(APPEND failures
      "README.md does not open with scripts/run.sh and scripts/test.sh: \"${first}\", \"${second}\"")
  endif()
endif()

file(GLOB pages ${SOURCE_DIR}/docs/*.md)
list(APPEND pages ${SOURCE_DIR}/README.md ${SOURCE_DIR}/CHANGES.md)
set(remarks "load average" "heavy load" "under load" "at that load" "of the load"
  "quiet machine" "quieter machine" "lightly loaded" "beside a build" "other jobs" "engineers")
foreach(page ${pages})
  file(READ ${page} text)
  string(TOLOWER "${text}" text)
  # A remark may wrap: read the page as one line.
  string(REGEX REPLACE "[ \n]+" " " text "${text}")
  foreach(remark ${remarks})
    string(FIND "${text}" "${remark}" at)
    if(at GREATER -1)
      math(EXPR from "${at} - 40")
      if(from LESS 0)
        set(from 0)
      endif()
      string(SUBSTRING "${text}" ${from} 100 context)
      list(APPEND failures "${page}: a remark on the machine's load (\"${remark}\"): ...${context}...")
    endif()
  endforeach()
endforeach()

if(failures)
  list(JOIN failures "\n" message)
  message(FATAL_ERROR "${message}")
endif()
list(LENGTH pages npages)
message(STATUS "README.md: ${lines} lines; ${npages} pages free of load remarks")
