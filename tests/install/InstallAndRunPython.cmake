# cmake -D BUILD_DIR=... -D SOURCE_DIR=... -D PYTHON=... -D PYTHON_DESTINATION=...
#   -P InstallAndRunPython.cmake
# Installs BUILD_DIR into a fresh temporary prefix, runs the Python example (docs/python.md)
# with the installed package, fits the same sample with the installed Pravik and checks the
# package against it, with the snippets of the docs and of help(quorvel) (python_checks.py).
include(${CMAKE_CURRENT_LIST_DIR}/InstallSupport.cmake)
quorvel_install_to_temporary_prefix(prefix)

set(python_env ${CMAKE_COMMAND} -E env PYTHONPATH=${prefix}/${PYTHON_DESTINATION})
quorvel_run(${python_env} ${PYTHON} ${SOURCE_DIR}/examples/warp_leg.py ${SOURCE_DIR}/data/leg.dat
  0.25 ${SOURCE_DIR}/data/leg.vtk ${work}/leg-warped.vtk)
file(COPY ${SOURCE_DIR}/data/leg.dat DESTINATION ${work})
quorvel_run(${prefix}/bin/Pravik ${work}/leg.dat 0.25)
quorvel_run(${python_env} ${PYTHON} ${CMAKE_CURRENT_LIST_DIR}/python_checks.py
  ${SOURCE_DIR}/data ${work})
quorvel_clean_up()
