/**
 * @file EvenSubset.h
 * @brief At most a given number of points chosen evenly over the space the points take up.
 *
 * A uniform grid of cubic cells is laid over the points' bounding box and one point is kept in
 * every cell that holds any: the one nearest the cell's centre (of two equally near, the one
 * listed first). The cell's edge is the smallest, to within a thousandth, for which no more
 * than the allowed number of cells are occupied, so that the kept points are as many as allowed
 * and spread as evenly as the points themselves: every point lies within one cell diagonal
 * (sqrt(3) edges) of a kept one, dense clusters keep no more than sparse stretches do, and no
 * region that holds points is left without one.
 *
 * The choice depends only on the positions and the allowed number: the same points give the
 * same subset, wherever they lie (coordinates are taken relative to the bounding box, so sets
 * far from the origin choose as they would near it).
 */
#ifndef EvenSubset_h
#define EvenSubset_h

#include <vtkType.h>

#include <vector>

class vtkPoints;

struct EvenSubsetResult
{
  /// The kept points' indices, in increasing order.
  std::vector<vtkIdType> Indices;
  /// The grid's cell edge in the points' units; 0 when every point is kept.
  double Cell = 0.0;
};

/**
 * The indices of at most limit of points, spread as described above. With no more points
 * than limit, all of them (Cell 0); with a limit below 1, none. Points that are not finite
 * are never kept and take no cell.
 */
EvenSubsetResult EvenSubset(vtkPoints* points, vtkIdType limit);

#endif
