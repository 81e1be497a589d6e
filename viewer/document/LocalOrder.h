#ifndef LocalOrder_h
#define LocalOrder_h

#include "vtkType.h"

#include <cstdint>
#include <vector>

struct FlatCells;

/**
 * An order of a mesh's points and cells in which neighbours lie near one another in memory,
 * for the passes that run over the whole mesh at every animation step.
 *
 * A scanned mesh often lists its points and cells in no useful order: the cells around a
 * point then sit anywhere in a per-cell array, and each of them costs a cache miss. Ranked
 * here, points follow a Z-order curve through their bounding box (points near in space get
 * near ranks), and cells follow the lowest rank among their points; ties keep the cells'
 * own order.
 */
struct LocalOrder
{
  std::vector<std::uint32_t> PointOrder; // rank -> point
  std::vector<std::uint32_t> CellOrder;  // rank -> cell
  std::vector<std::uint32_t> CellRank;   // cell -> rank

  /**
   * Ranks the points (xyz, 3 values each) and the cells (their ids index the points). False
   * when the counts do not fit in 32 bits or a cell names a point out of range; the order is
   * then left empty.
   */
  template <typename T>
  bool Make(const T* xyz, vtkIdType points, const FlatCells& cells);

  /**
   * Whether the cells as listed jump about the points: more than a quarter of them lie far
   * (over 128 ids, lowest and highest point together) from the cell before. A generated grid
   * or tube, listed row by row, is not: ranking it would only add the gathering.
   */
  static bool Scattered(const FlatCells& cells);
};

#endif
