# quorvel_sources(<var> <file>...): the files of the list that exist in the current source
# directory. Lets a directory's target list the units it will hold while some are still
# being written on other branches.
function(quorvel_sources var)
  set(_found)
  foreach(_f ${ARGN})
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${_f})
      list(APPEND _found ${_f})
    endif()
  endforeach()
  set(${var} ${_found} PARENT_SCOPE)
endfunction()

# quorvel_add_subdirectories(): adds every immediate subdirectory that has a CMakeLists.txt,
# so that tests/<area> and bench/<area> need no shared list.
function(quorvel_add_subdirectories)
  file(GLOB _children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR}
       ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT _children)
  foreach(_d ${_children})
    if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${_d} AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${_d}/CMakeLists.txt)
      add_subdirectory(${_d})
    endif()
  endforeach()
endfunction()

# quorvel_add_gtest(<name> SOURCES ... LIBS ... [LABELS ...] [LOCK <name>] [GUI] [SERIAL])
# One GoogleTest executable; each TEST becomes a CTest test. GUI tests get the label "gui"
# and need an X display (the test script runs ctest under xvfb-run). SERIAL tests run while
# no other test does (tests of what a window does by itself, with no other window on the
# shared display). LOCK names what the tests share with other programs' tests on that display
# (the clipboard, say): tests holding the same lock never run at the same time.
function(quorvel_add_gtest name)
  cmake_parse_arguments(ARG "GUI;SERIAL" "LOCK" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  quorvel_vtk_autoinit(${name})
  set(_labels ${ARG_LABELS})
  if(ARG_GUI)
    list(APPEND _labels gui)
  endif()
  # The ThreadSanitizer build compiles only these (target threaded_tests).
  if("threads" IN_LIST _labels)
    set_property(GLOBAL APPEND PROPERTY QUORVEL_THREADED_TEST_TARGETS ${name})
  endif()
  set(_properties TIMEOUT 300)
  if(ARG_SERIAL)
    list(APPEND _properties RUN_SERIAL TRUE)
  endif()
  if(ARG_LOCK)
    list(APPEND _properties RESOURCE_LOCK ${ARG_LOCK})
  endif()
  # An empty LABELS value would swallow the next key: name LABELS only when there are some.
  if(_labels)
    gtest_discover_tests(${name}
      WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
      DISCOVERY_MODE PRE_TEST
      PROPERTIES LABELS "${_labels}" ${_properties})
  else()
    gtest_discover_tests(${name}
      WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
      DISCOVERY_MODE PRE_TEST
      PROPERTIES ${_properties})
  endif()
endfunction()
