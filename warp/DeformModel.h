/**
 * @file DeformModel.h
 * @brief Runs a model through a transform and makes sure the whole model came out deformed.
 *
 * vtkTransformPolyDataFilter hands out an output whatever happens inside: a transform that
 * runs out of memory reports an error and leaves the points where they were (or the output
 * without points), and the filter still succeeds. A batch tool must not write that as the
 * deformed model, so the deformation counts only when no error was reported while it ran and
 * the output has exactly the input's points.
 */
#ifndef DeformModel_h
#define DeformModel_h

#include <vtkSmartPointer.h>

#include <string>

class vtkAbstractTransform;
class vtkPolyData;

/**
 * The model moved by transform, or null with reason set to a sentence that says why the
 * deformation failed.
 */
vtkSmartPointer<vtkPolyData> DeformModel(
  vtkPolyData* model, vtkAbstractTransform* transform, std::string& reason);

#endif
