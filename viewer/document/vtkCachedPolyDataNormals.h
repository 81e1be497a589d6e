/**
 * @class   vtkCachedPolyDataNormals
 * @brief   point normals that redo only the coordinate-dependent work while the mesh's cells
 * stay the same
 *
 * vtkCachedPolyDataNormals computes what vtkPolyDataNormals computes (same settings, same
 * output layout: the consistently ordered cells, the points split at feature edges, unit
 * point normals named "Normals"), but keeps the part that depends only on the cells from
 * one execution to the next: the reordering of cells for a consistent orientation, the
 * correspondence of output points to input points after splitting, and which cells meet at
 * each output point. That part is recomputed by vtkPolyDataNormals itself whenever
 *
 * - the input's cell arrays are other objects or were modified, or the number of points
 *   changed;
 * - a setting of this filter changed;
 * - some edge shared by two cells lies too close to the feature angle to tell on which side
 *   vtkPolyDataNormals would put it.
 *
 * Otherwise one execution gathers the points, computes the cell normals (with
 * vtkPolygon::ComputeNormal, as vtkPolyDataNormals does), checks the feature edges and
 * averages the cell normals at every output point, spread over the machine's cores. These
 * passes run in a spatial order of the points and cells (LocalOrder), chosen at the full
 * execution, so that a mesh listed in no useful order (a scan, say) reads its neighbours
 * from nearby memory. Where shared edges changed sides of the feature angle, the splitting
 * is walked again around their end points only, as vtkPolyDataNormals walks it; when that
 * changes how many copies a point has, the later copies are renumbered as vtkPolyDataNormals
 * numbers them. The output cells are then the same object, modified.
 *
 * The cells and the correspondence are exactly those vtkPolyDataNormals makes; the point
 * normals are the normalised sums of the same cell normals and may differ from
 * vtkPolyDataNormals' own in the last bit of a component (the order of the float operations
 * is not the same).
 *
 * @warning Only the default orientation handling is kept from one execution to the next:
 * with AutoOrientNormals, FlipNormals or ComputeCellNormals on, or with triangle strips in
 * the input, every execution is vtkPolyDataNormals' own.
 *
 * @sa vtkPolyDataNormals vtkLabelThreshold
 */
#ifndef vtkCachedPolyDataNormals_h
#define vtkCachedPolyDataNormals_h

#include "vtkPolyDataNormals.h"

#include <memory> // for the cache

class vtkCachedPolyDataNormals : public vtkPolyDataNormals
{
public:
  static vtkCachedPolyDataNormals* New();
  vtkTypeMacro(vtkCachedPolyDataNormals, vtkPolyDataNormals);
  void PrintSelf(ostream& os, vtkIndent indent) override;

  /**
   * Executions that did the whole work of vtkPolyDataNormals (cell ordering and splitting)
   * since the filter was made; the others reused it.
   */
  vtkGetMacro(NumberOfFullExecutions, int);

  /**
   * Executions that reused the cells but moved the splitting where edges changed sides of
   * the feature angle.
   */
  vtkGetMacro(NumberOfSplittingUpdates, int);

protected:
  vtkCachedPolyDataNormals();
  ~vtkCachedPolyDataNormals() override;

  int RequestData(vtkInformation*, vtkInformationVector**, vtkInformationVector*) override;

  // vtkPolyDataNormals' execution, which also records what the next ones may reuse.
  int ExecuteFully(vtkInformation* request, vtkPolyData* input, vtkInformationVector* output);
  // The execution that reuses the cells; false when they cannot be reused for this input.
  bool ExecuteOnKeptCells(vtkPolyData* input, vtkPolyData* output);

  int NumberOfFullExecutions = 0;
  int NumberOfSplittingUpdates = 0;

private:
  struct Topology;
  std::unique_ptr<Topology> Kept;
  // The unit point normals of the kept splitting, from its cell normals.
  static void PointNormals(const Topology& t, float* normals);

  vtkCachedPolyDataNormals(const vtkCachedPolyDataNormals&) = delete;
  void operator=(const vtkCachedPolyDataNormals&) = delete;
};

#endif
