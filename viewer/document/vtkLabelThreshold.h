/**
 * @class   vtkLabelThreshold
 * @brief   keeps the cells of a polygonal model whose label (cell scalar) lies in a range,
 * reusing the selection while the cells and labels stay the same
 *
 * vtkLabelThreshold keeps the cells whose label, the first component s of the cell scalars,
 * satisfies s <= LowerThreshold (ThresholdFunction LOWER), s >= UpperThreshold (UPPER) or
 * LowerThreshold <= s <= UpperThreshold (BETWEEN): the criteria of vtkThreshold on cell
 * scalars. A label that is not a number is never kept. The output is polygonal data holding the
 * kept cells in input order (vertices, lines, polygons, strips), the points they use (in input
 * order), and the point and cell data of both. When the kept cells use every input point, the
 * output's points and point data are the input's own, and when every cell is kept as well, so
 * are its cell arrays.
 *
 * A model without cell scalars has no labels: KeepUnlabelled decides whether all its cells
 * are kept (on) or none (off, the default).
 *
 * Which cells are kept depends only on the cells and the labels: it is worked out again only
 * when the input's cell data are other objects or were modified, the number of cells changed,
 * or a setting changed. When only the point ids in the cells changed (as the splitting at
 * feature edges moves them, adding or removing points), the kept cells stay and only their
 * points are chosen again, in a few passes over the cells' storage. When the filter upstream
 * noted which polygon point ids it rewrote (RewrittenIds), only those corners and the output
 * points numbered after the first point whose use changed are updated. Otherwise an execution
 * copies the point coordinates and point data of the kept points, spread over the machine's
 * cores, and hands on the same cell arrays and cell data.
 *
 * @sa vtkThreshold vtkCachedPolyDataNormals
 */
#ifndef vtkLabelThreshold_h
#define vtkLabelThreshold_h

#include "vtkPolyDataAlgorithm.h"

#include <memory> // for the selection

class vtkCellArray;

class vtkLabelThreshold : public vtkPolyDataAlgorithm
{
public:
  static vtkLabelThreshold* New();
  vtkTypeMacro(vtkLabelThreshold, vtkPolyDataAlgorithm);
  void PrintSelf(ostream& os, vtkIndent indent) override;

  enum ThresholdType
  {
    THRESHOLD_BETWEEN = 0,
    THRESHOLD_LOWER,
    THRESHOLD_UPPER
  };

  ///@{
  /**
   * The bounds and which of them apply (see the class description). Defaults: bounds
   * -infinity and +infinity, BETWEEN.
   */
  vtkSetMacro(LowerThreshold, double);
  vtkGetMacro(LowerThreshold, double);
  vtkSetMacro(UpperThreshold, double);
  vtkGetMacro(UpperThreshold, double);
  vtkSetClampMacro(ThresholdFunction, int, THRESHOLD_BETWEEN, THRESHOLD_UPPER);
  vtkGetMacro(ThresholdFunction, int);
  ///@}

  ///@{
  /**
   * Whether a model without cell scalars is kept whole (on) or not at all (off, default).
   */
  vtkSetMacro(KeepUnlabelled, vtkTypeBool);
  vtkGetMacro(KeepUnlabelled, vtkTypeBool);
  vtkBooleanMacro(KeepUnlabelled, vtkTypeBool);
  ///@}

  /**
   * Executions that worked out anew which cells are kept, since the filter was made; the
   * others reused that (choosing again at most the points).
   */
  vtkGetMacro(NumberOfSelections, int);

  /**
   * Executions that followed the polygons' point ids where an upstream filter noted that it
   * rewrote them in place (see RewrittenIds), instead of choosing the points again.
   */
  vtkGetMacro(NumberOfPointUpdates, int);

protected:
  vtkLabelThreshold();
  ~vtkLabelThreshold() override;

  int RequestData(vtkInformation*, vtkInformationVector**, vtkInformationVector*) override;

  // Whether a cell with this label is kept.
  bool Keeps(double label) const;
  // Chooses the cells and points for the input; the settings are those of now. When only
  // the input's point ids in its cells changed, the kept cells and their data are reused.
  void Select(vtkPolyData* input);

  double LowerThreshold;
  double UpperThreshold;
  int ThresholdFunction;
  vtkTypeBool KeepUnlabelled;
  int NumberOfSelections = 0;
  int NumberOfPointUpdates = 0;

private:
  struct Selection;
  std::unique_ptr<Selection> Selected;
  // The kept points, numbered in the order the kept cells first use them, and the cells.
  void SelectPoints(vtkCellArray* inputCells[4], Selection& s);
  // Updates the kept points where the polygons' point ids were rewritten in place since the
  // last execution; false when that cannot be followed and the points must be chosen again.
  bool FollowRewrites(vtkPolyData* input);
  // The correspondence of output to input points as id lists, for arrays other than floats.
  static void MakeIdLists(Selection& s);

  vtkLabelThreshold(const vtkLabelThreshold&) = delete;
  void operator=(const vtkLabelThreshold&) = delete;
};

#endif
