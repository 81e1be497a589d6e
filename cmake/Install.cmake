# `cmake --install <build> --prefix <dir>` installs the programs, the libraries with their
# public headers, a CMake package (find_package(Quorvel), targets Quorvel::Fitting,
# Quorvel::ShapeTransform, Quorvel::TransformFile) and the desktop integration. Only the
# headers listed here are public; every other header stays beside its sources.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(QUORVEL_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/Quorvel)
set(QUORVEL_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/quorvel)

install(TARGETS Pravik RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET Halden)
  install(TARGETS Halden RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

# Installed beside other libraries, the archives carry the project's name.
set_target_properties(fitting PROPERTIES EXPORT_NAME Fitting OUTPUT_NAME quorvel_fitting)
set_target_properties(shape_transform PROPERTIES EXPORT_NAME ShapeTransform
  OUTPUT_NAME quorvel_shape_transform)
set_target_properties(transform_file PROPERTIES EXPORT_NAME TransformFile
  OUTPUT_NAME quorvel_transform_file)
install(TARGETS fitting shape_transform transform_file
  EXPORT QuorvelTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${QUORVEL_INSTALL_INCLUDEDIR})
install(FILES
  ${PROJECT_SOURCE_DIR}/fitting/vtkDatReader.h
  ${PROJECT_SOURCE_DIR}/fitting/vtkLandmarkSplineFit.h
  ${PROJECT_SOURCE_DIR}/fitting/vtkMatrixSolver.h
  ${PROJECT_SOURCE_DIR}/deformation/TransformFile.h
  ${PROJECT_SOURCE_DIR}/deformation/vtkShapeTransform.h
  DESTINATION ${QUORVEL_INSTALL_INCLUDEDIR})

install(EXPORT QuorvelTargets NAMESPACE Quorvel:: DESTINATION ${QUORVEL_INSTALL_CMAKEDIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/QuorvelConfig.cmake.in
  ${PROJECT_BINARY_DIR}/QuorvelConfig.cmake INSTALL_DESTINATION ${QUORVEL_INSTALL_CMAKEDIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/QuorvelConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/QuorvelConfig.cmake
  ${PROJECT_BINARY_DIR}/QuorvelConfigVersion.cmake DESTINATION ${QUORVEL_INSTALL_CMAKEDIR})

# Desktop integration: Halden's menu entry and icon, the file types, the manual pages.
set(_desktop ${PROJECT_SOURCE_DIR}/docs/desktop)
if(TARGET Halden)
  install(FILES ${_desktop}/halden.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${_desktop}/halden.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()
install(FILES ${_desktop}/quorvel.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)

# The manual pages are the programs' --help texts (help2man, through ManualPage.cmake), so
# that the two never disagree; docs/man/<program>.h2m adds what --help does not say.
find_program(QUORVEL_HELP2MAN help2man)
if(NOT QUORVEL_HELP2MAN)
  message(WARNING "help2man not found: the manual pages are not made")
endif()
function(quorvel_manual_page program description)
  if(NOT TARGET ${program} OR NOT QUORVEL_HELP2MAN)
    return()
  endif()
  set(page ${PROJECT_BINARY_DIR}/man/${program}.1)
  set(include ${PROJECT_SOURCE_DIR}/docs/man/${program}.h2m)
  add_custom_command(OUTPUT ${page}
    COMMAND ${CMAKE_COMMAND} -D HELP2MAN=${QUORVEL_HELP2MAN} -D PROGRAM=$<TARGET_FILE:${program}>
      "-D DESCRIPTION=${description}" -D OUTPUT=${page} -D INCLUDE=${include}
      -P ${PROJECT_SOURCE_DIR}/cmake/ManualPage.cmake
    DEPENDS ${program} ${include} ${PROJECT_SOURCE_DIR}/cmake/ManualPage.cmake
    COMMENT "Manual page of ${program} from its --help")
  add_custom_target(${program}_manual ALL DEPENDS ${page})
  install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()
quorvel_manual_page(Pravik
  "fit a landmark deformation and write it as a transform coefficient file")
quorvel_manual_page(Halden
  "show a surface model and animate the deformation fitted to its landmarks")
quorvel_manual_page(pravik-warp "apply a fitted landmark deformation to a model file")
