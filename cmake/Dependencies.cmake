# VTK 9.1 from Debian. Its exported targets name MPI::MPI_C although MPI is not needed by
# any module we use: stand an empty target in for it rather than installing MPI.
if(NOT TARGET MPI::MPI_C)
  add_library(MPI::MPI_C INTERFACE IMPORTED)
endif()

# RenderingCore is here for vtkCamera, which the camera records use without the GUI.
# The model file formats (IO...) are read and written by the batch warp tool too.
set(QUORVEL_VTK_CORE_MODULES
  CommonCore CommonDataModel CommonTransforms CommonExecutionModel FiltersCore FiltersGeneral
  RenderingCore IOCore IOLegacy IOXMLParser IOXML IOGeometry IOPLY)
set(QUORVEL_VTK_GUI_MODULES
  FiltersSources FiltersTexture IOImage ImagingCore RenderingOpenGL2
  RenderingFreeType RenderingAnnotation RenderingUI InteractionStyle GUISupportQt)

if(QUORVEL_BUILD_GUI)
  find_package(VTK 9.1 REQUIRED COMPONENTS ${QUORVEL_VTK_CORE_MODULES} ${QUORVEL_VTK_GUI_MODULES})
  find_package(Qt5 5.15 REQUIRED COMPONENTS Widgets Gui Core)
else()
  find_package(VTK 9.1 REQUIRED COMPONENTS ${QUORVEL_VTK_CORE_MODULES})
endif()

# Register the VTK object factories (OpenGL2 render window, FreeType text, ...) that the
# given targets rely on.
function(quorvel_vtk_autoinit)
  vtk_module_autoinit(TARGETS ${ARGN} MODULES ${VTK_LIBRARIES})
endfunction()
