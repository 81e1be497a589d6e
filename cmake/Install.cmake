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
file(GLOB _man_pages ${_desktop}/*.1)
install(FILES ${_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# pravik-warp's manual page is its --help text (help2man), so the two never disagree.
if(TARGET pravik-warp)
  find_program(QUORVEL_HELP2MAN help2man)
  if(QUORVEL_HELP2MAN)
    set(_warp_page ${PROJECT_BINARY_DIR}/man/pravik-warp.1)
    # Ninja makes an output's folder itself; Make does not.
    add_custom_command(OUTPUT ${_warp_page}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
      COMMAND ${QUORVEL_HELP2MAN} --no-info --section=1 --source=Quorvel
        "--name=apply a fitted landmark deformation to a model file"
        --output=${_warp_page} $<TARGET_FILE:pravik-warp>
      DEPENDS pravik-warp
      COMMENT "Manual page of pravik-warp from its --help")
    add_custom_target(pravik_warp_manual ALL DEPENDS ${_warp_page})
    install(FILES ${_warp_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  else()
    message(WARNING "help2man not found: pravik-warp's manual page is not made")
  endif()
endif()
