#ifndef FeatureSplitting_h
#define FeatureSplitting_h

#include "vtkType.h"

#include <cstdint>
#include <vector>

class vtkCellArray;

/**
 * Cells as flat arrays: cell c holds Connectivity[Offsets[c] .. Offsets[c + 1]).
 */
struct FlatCells
{
  std::vector<vtkIdType> Offsets{ 0 };
  std::vector<vtkIdType> Connectivity;

  void Read(vtkCellArray* cells);
  vtkIdType Size() const { return static_cast<vtkIdType>(this->Offsets.size()) - 1; }
};

/**
 * Where vtkPolyDataNormals splits a mesh's points at feature edges, kept from one set of
 * cell normals to the next and updated only around the edges that changed sides of the
 * feature angle.
 *
 * The splitting follows vtkPolyDataNormals: around each input point p, the cells using p fall
 * into regions, the cells reached from one another across edges (p, q) that exactly one other
 * cell shares and whose two cell normals make a cos above the feature angle's. The region of
 * p's lowest cell keeps p; each further region, in the order of its lowest cell, gets a copy
 * of p. Copies are numbered after the input points, p's copies after those of every lower
 * point: the first copy of p is N + the sum over q < p of (regions of q - 1).
 *
 * Layout, for each input point p (entries Start[p] .. Start[p + 1], in increasing cell order):
 *
 *     Cell[k]      a cell that uses p
 *     Position[k]  where p sits in the cells' connectivity (Cells.Connectivity index)
 *     Region[k]    the region of that cell around p
 *     Output[k]    the output point the cell uses in p's place (p, or one of p's copies)
 *
 * The cells are those of the output (consistently ordered) with input point ids; Reversed[c]
 * says whether output cell c is the input's cell c reversed, which decides the direction in
 * which the regions are walked (as vtkPolyDataNormals walks them over the input's cells).
 *
 * The cell normals (3 floats per cell) may come in an order of the caller's: cell c's normal
 * is then row Row[c]. The pairs of cells across edges are kept in the order of their rows, so
 * that the pass over all of them at every step reads the normals in order.
 */
class FeatureSplitting
{
public:
  /// What a new set of cell normals did to the splitting.
  enum Outcome
  {
    Unchanged,     // no shared edge changed sides of the feature angle
    Changed,       // some did: the output cells and points were updated
    TooCloseToTell // some edge lies within rounding of the feature angle
  };

  /**
   * Takes the cells (output order, input ids; the object keeps them), which cells were
   * reversed, the number of input points, whether points are split at all and the cos of
   * the feature angle, the unit cell normals (3 floats per row), the row of each cell's
   * normal (empty: cell c's is row c) and the output connectivity vtkPolyDataNormals made
   * (Cells.Connectivity's layout, output point ids). False when that splitting is not the one
   * this class computes (for example a cell that uses a point twice, or non-triangle cells
   * whose walk differs, or more cells than 32 bits count): the object must then not be used.
   */
  bool Build(FlatCells cells, std::vector<unsigned char> reversed, vtkIdType inputPoints,
    bool splitting, double cosAngle, const std::vector<float>& cellNormals,
    std::vector<std::uint32_t> rows, const vtkIdType* outputConnectivity);

  /**
   * Compares the feature edges under new cell normals (in the rows given to Build) with the
   * kept ones and, where edges
   * changed sides, walks the regions again around their end points. Changed output ids are
   * written into outputConnectivity (Cells.Connectivity's layout).
   */
  Outcome Update(const std::vector<float>& cellNormals, vtkIdType* outputConnectivity);

  const FlatCells& GetCells() const { return this->Cells; }
  vtkIdType GetNumberOfInputPoints() const { return this->InputPoints; }
  /// Output point i copies input point Map[i].
  const std::vector<vtkIdType>& GetMap() const { return this->Map; }
  const std::vector<vtkIdType>& GetStart() const { return this->Start; }
  const std::vector<vtkIdType>& GetCell() const { return this->Cell; }
  const std::vector<vtkIdType>& GetOutput() const { return this->Output; }
  /// How many regions (output points) each input point has.
  const std::vector<int>& GetRegions() const { return this->Regions; }
  /// Input points with more than one region.
  vtkIdType GetNumberOfSplitPoints() const { return static_cast<vtkIdType>(this->Split.size()); }
  /// Points whose regions were walked again by Update since Build.
  vtkIdType GetNumberOfPointsWalked() const { return this->PointsWalked; }
  /// The connectivity entries the last Update changed: position, previous output id, ...
  const std::vector<vtkIdType>& GetRewritten() const { return this->Rewritten; }

  /// The cos of the angle between the normals in rows a and b, as the feature-edge test reads
  /// it.
  static double Cos(const std::vector<float>& normals, vtkIdType a, vtkIdType b);

private:
  // Labels the cells around p with their regions (Region[Start[p] ..]); the number of
  // regions, or -1 when a cos lies too close to the feature angle to tell.
  int Walk(vtkIdType p, const std::vector<float>& normals);
  // p's neighbours in cell c as the input cell lists them: after p, then before p (for the
  // walk's start, in the order vtkPolyDataNormals takes them).
  void Neighbours(vtkIdType c, vtkIdType p, vtkIdType& first, vtkIdType& second) const;
  // The single other cell around p that uses q too, as an entry index; -1 when none or more.
  vtkIdType OnlyOtherAcross(vtkIdType p, vtkIdType c, vtkIdType q) const;
  // The row of cell c's normal.
  vtkIdType RowOf(vtkIdType c) const { return this->Row.empty() ? c : this->Row[c]; }
  // Puts the pairs in the order of their lower row.
  void SortPairsByRow();
  // Numbers the copies from the region counts: FirstCopy, Map, the Split list.
  void Number();
  // Output ids of p's entries from their regions, into Output and the connectivity.
  void WriteOutputs(vtkIdType p, vtkIdType* outputConnectivity);

  FlatCells Cells;
  std::vector<unsigned char> Reversed;
  std::vector<std::uint32_t> Row;
  vtkIdType InputPoints = 0;
  bool Splitting = true;
  double CosAngle = 1;

  std::vector<vtkIdType> Start, Cell, Position, Output;
  std::vector<int> Region;
  std::vector<int> Regions;         // per input point
  std::vector<vtkIdType> FirstCopy; // per input point
  std::vector<vtkIdType> Map;       // per output point
  std::vector<vtkIdType> Split;     // input points with more than one region

  // Pairs of cells that share an edge (P, Q) no other cell uses, as the rows of their normals,
  // and whether their normals were within the feature angle (so the edge joins their
  // regions). The rows are held in 32 bits: every step reads all pairs, and half the memory
  // is read twice as fast.
  std::vector<std::uint32_t> PairA, PairB;
  std::vector<vtkIdType> EdgeP, EdgeQ;
  std::vector<unsigned char> Joined;
  std::vector<unsigned char> Flipped; // scratch, per pair
  std::vector<unsigned char> Marked;  // scratch, per input point
  std::vector<vtkIdType> Rewritten;
  vtkIdType PointsWalked = 0;
};

#endif
