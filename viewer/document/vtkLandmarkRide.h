/**
 * @class vtkLandmarkRide
 * @brief Where the deformation at its current blend carries the landmarks' source positions,
 * and the lines from there to the targets.
 *
 * Output 0 holds one point per landmark, each with a vertex cell: the source position moved
 * by the transform at its current Factor while Riding is on, the source position itself
 * otherwise.
 * Output 1 holds those points followed by the targets, and one line per landmark from its
 * moved source to its target.
 *
 * A selection narrows both outputs to some of the landmarks: point k of output 0 (and line k
 * of output 1) is then the k-th selected landmark's.
 *
 * The transform moves a point by x - Factor * d(x), so the displacements d of the sources are
 * computed once for each set of parameters and sources (on a copy of the transform, which
 * leaves the transform's own displacement cache to the model it deforms); a change of the
 * blend then costs one multiply-add per coordinate. A transform running the inverse direction
 * is evaluated afresh at every blend. The filter re-executes only when the sources, the
 * targets, the transform or its blend change, and the blend counts only while Riding is on.
 *
 * @sa vtkShapeTransform LandmarkGlyphs
 */
#ifndef vtkLandmarkRide_h
#define vtkLandmarkRide_h

#include <vtkPolyDataAlgorithm.h>
#include <vtkSmartPointer.h> // for the held points and transform

#include <vector> // for the displacements

class vtkCellArray;
class vtkPoints;
class vtkShapeTransform;

class vtkLandmarkRide : public vtkPolyDataAlgorithm
{
public:
  static vtkLandmarkRide* New();
  vtkTypeMacro(vtkLandmarkRide, vtkPolyDataAlgorithm);
  void PrintSelf(ostream& os, vtkIndent indent) override;

  /// The pairs' source and target positions (held, not copied; call Modified on either after
  /// changing it). Both must hold the same number of points; null means none.
  void SetLandmarks(vtkPoints* sources, vtkPoints* targets);

  ///@{
  /// The deformation the sources ride with; null (the default) leaves them at rest.
  void SetTransform(vtkShapeTransform* transform);
  vtkShapeTransform* GetTransform() const;
  ///@}

  ///@{
  /// Whether the sources move with the transform (on while the model is shown deformed).
  /// Off by default.
  vtkSetMacro(Riding, bool);
  vtkGetMacro(Riding, bool);
  vtkBooleanMacro(Riding, bool);
  ///@}

  ///@{
  /**
   * Only these landmarks (indices into the pairs, in this order) go to the outputs; indices
   * past the pairs' count are passed over. SelectAll (the default) takes every landmark.
   */
  void SetSelection(const std::vector<vtkIdType>& landmarks);
  void SelectAll();
  /// Whether a selection is in force.
  bool GetSelecting() const { return this->Selecting; }
  ///@}

  ///@{
  /// n vertex cells, one on each of the points 0 .. n-1; n line cells, line i from point i to
  /// point n + i.
  static vtkSmartPointer<vtkCellArray> VertexPerPoint(vtkIdType n);
  static vtkSmartPointer<vtkCellArray> LinePerPair(vtkIdType n);
  ///@}

  /// Includes the points' times, and the transform's (its blend too) while Riding is on.
  vtkMTimeType GetMTime() override;

protected:
  vtkLandmarkRide();
  ~vtkLandmarkRide() override;

  int RequestData(vtkInformation*, vtkInformationVector**, vtkInformationVector*) override;

private:
  vtkLandmarkRide(const vtkLandmarkRide&) = delete;
  void operator=(const vtkLandmarkRide&) = delete;

  // Fills Moved with the sources where the transform carries them at its current blend: all n
  // of them, or only the chosen ones while a selection is in force.
  void MoveSources(vtkIdType n, const std::vector<vtkIdType>& chosen);
  // Recomputes Displacements when the transform's parameters or the sources changed.
  bool UpdateDisplacements(vtkIdType n);

  vtkSmartPointer<vtkPoints> Sources;
  vtkSmartPointer<vtkPoints> Targets;
  vtkSmartPointer<vtkShapeTransform> Transform;
  bool Riding = false;
  // d(x) of every source, three per landmark, and what it was computed for.
  std::vector<double> Displacements;
  vtkMTimeType DisplacementParameters = 0;
  vtkMTimeType DisplacementSources = 0;
  vtkSmartPointer<vtkPoints> Moved;
  bool Selecting = false;
  std::vector<vtkIdType> Selection;
  vtkSmartPointer<vtkCellArray> Vertices;
  vtkSmartPointer<vtkCellArray> Segments;
};

#endif
