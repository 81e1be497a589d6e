/**
 * @class   vtkPointArrayTransformFilter
 * @brief   moves the points of a small point set through a shape transform, point by point
 *
 * The model's transform filter lets the shape transform cache the model's displacements; a
 * second point set sent through vtkTransformPolyDataFilter would take that cache over and
 * make every animation step compute the model's displacements afresh. This filter moves its
 * input's points with vtkShapeTransform::TransformPointArray, which neither reads nor fills
 * the cache, and copies the cells and point data unchanged. Without a transform (the
 * default, null) the points pass as they are.
 *
 * The output follows the transform: its modification time (a new Factor included) makes the
 * filter execute again.
 */
#ifndef vtkPointArrayTransformFilter_h
#define vtkPointArrayTransformFilter_h

#include <vtkPolyDataAlgorithm.h>

class vtkShapeTransform;

class vtkPointArrayTransformFilter : public vtkPolyDataAlgorithm
{
public:
  static vtkPointArrayTransformFilter* New();
  vtkTypeMacro(vtkPointArrayTransformFilter, vtkPolyDataAlgorithm);
  void PrintSelf(ostream& os, vtkIndent indent) override;

  ///@{
  /// The transform that moves the points; null (the default) for none.
  void SetTransform(vtkShapeTransform* transform);
  vtkShapeTransform* GetTransform() const { return this->Transform; }
  ///@}

  vtkMTimeType GetMTime() override;

protected:
  vtkPointArrayTransformFilter();
  ~vtkPointArrayTransformFilter() override;

  int RequestData(vtkInformation*, vtkInformationVector**, vtkInformationVector*) override;

private:
  vtkPointArrayTransformFilter(const vtkPointArrayTransformFilter&) = delete;
  void operator=(const vtkPointArrayTransformFilter&) = delete;

  vtkShapeTransform* Transform = nullptr;
};

#endif
