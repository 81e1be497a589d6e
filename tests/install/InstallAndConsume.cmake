# cmake -D BUILD_DIR=... -D CONSUMER_DIR=... -D GENERATOR=... -D CXX=... [-D SANITIZE=a,b]
#   -P InstallAndConsume.cmake
# Installs BUILD_DIR into a fresh temporary prefix, checks the desktop files, builds the
# consumer project against the installed package and runs it.
include(${CMAKE_CURRENT_LIST_DIR}/InstallSupport.cmake)
quorvel_install_to_temporary_prefix(prefix)

# Desktop integration.
set(share ${prefix}/share)
foreach(f applications/halden.desktop icons/hicolor/scalable/apps/halden.svg
    mime/packages/quorvel.xml man/man1/Pravik.1)
  if(NOT EXISTS ${share}/${f})
    quorvel_fail("not installed: share/${f}")
  endif()
endforeach()
quorvel_run(desktop-file-validate ${share}/applications/halden.desktop)
quorvel_run(update-mime-database ${share}/mime)
file(STRINGS ${share}/mime/globs2 globs REGEX "x-quorvel-trc:\\*\\.trc")
if(NOT globs)
  quorvel_fail("the MIME database built from quorvel.xml does not know *.trc")
endif()
if(EXISTS ${prefix}/bin/pravik-warp AND NOT EXISTS ${share}/man/man1/pravik-warp.1)
  quorvel_fail("pravik-warp is installed without its manual page")
endif()
file(GLOB pages ${share}/man/man1/*.1)
foreach(page ${pages})
  execute_process(COMMAND groff -man -ww -z ${page} RESULT_VARIABLE rc ERROR_VARIABLE warnings)
  if(NOT rc EQUAL 0 OR warnings)
    quorvel_fail("${page} does not render cleanly: ${warnings}")
  endif()
endforeach()

# The consumer: a Release build (NDEBUG) with the sanitizers of this build, if any.
set(flags)
if(SANITIZE)
  set(flags -DCMAKE_CXX_FLAGS=-fsanitize=${SANITIZE} -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=${SANITIZE})
endif()
quorvel_run(${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${work}/consumer -G ${GENERATOR}
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_PREFIX_PATH=${prefix} ${flags})
quorvel_run(${CMAKE_COMMAND} --build ${work}/consumer)
quorvel_run(${work}/consumer/consumer ${work})
quorvel_clean_up()
