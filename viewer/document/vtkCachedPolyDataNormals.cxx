#include "vtkCachedPolyDataNormals.h"
#include "FeatureSplitting.h"
#include "InputStamp.h"
#include "LocalOrder.h"
#include "RewrittenIds.h"

#include "vtkCellArray.h"
#include "vtkCellArrayIterator.h"
#include "vtkCellData.h"
#include "vtkDoubleArray.h"
#include "vtkFloatArray.h"
#include "vtkIdList.h"
#include "vtkIdTypeArray.h"
#include "vtkInformation.h"
#include "vtkInformationVector.h"
#include "vtkMath.h"
#include "vtkNew.h"
#include "vtkObjectFactory.h"
#include "vtkPointData.h"
#include "vtkPoints.h"
#include "vtkPolyData.h"
#include "vtkPolygon.h"
#include "vtkSMPTools.h"
#include "vtkSmartPointer.h"
#include "vtkTriangle.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <numeric>
#include <vector>

vtkStandardNewMacro(vtkCachedPolyDataNormals);

namespace
{
// The point data array that carries each input point's id through vtkPolyDataNormals, so
// that the output point of a split tells which input point it copies.
const char* const InputIdsName = "vtkCachedPolyDataNormals input point ids";
}

// What the cells alone decide, from the last full execution, and the splitting kept up to
// date since.
struct vtkCachedPolyDataNormals::Topology
{
  // The input and settings it was made for.
  InputStamp Verts, Lines, Polys, Strips;
  vtkIdType InputPoints = 0;
  double FeatureAngle = 0;
  vtkTypeBool Splitting = 0, Consistency = 0, NonManifoldTraversal = 0;
  int OutputPointsPrecision = 0;

  // The output cells (ordered consistently, split point ids), shared by every output; their
  // connectivity is rewritten where the splitting changes.
  vtkSmartPointer<vtkCellArray> OutputPolys;
  vtkSmartPointer<vtkIdTypeArray> OutputIds;
  FeatureSplitting Split;
  // For copying point data: output point i takes input point FromIds[i] (made when needed).
  vtkSmartPointer<vtkIdList> FromIds, ToIds;
  // The cell of each of Split's entries in 32 bits (empty when the cells do not fit): the
  // point normals read these at every step.
  std::vector<std::uint32_t> NarrowCell;
  // Scratch: one normal per cell.
  std::vector<float> CellNormals;

  // When the mesh is ranked (Order not empty), the passes over all cells and points run in
  // rank order: the points are gathered in rank order, the cells (RankedCells, point ranks)
  // give their normals in rank order, and the point normals read, for the point of each rank,
  // the rows of its cells (RankedRow from RankedStart, in Split's order of its entries).
  LocalOrder Order;
  FlatCells RankedCells;
  vtkSmartPointer<vtkPoints> Gathered;
  std::vector<vtkIdType> RankedStart;
  std::vector<std::uint32_t> RankedRow;

  // Ranks a mesh whose cells are scattered and lays out the ranked cells. False when it is
  // not ranked (the rows are then the cells).
  bool Rank(vtkPoints* points, const FlatCells& cells);
  // The normal of every cell (cells: Split's, or those it will be built from), in the rows
  // Split reads.
  bool CellNormalRows(vtkPoints* points, const FlatCells& cells);
};

//------------------------------------------------------------------------------
vtkCachedPolyDataNormals::vtkCachedPolyDataNormals() = default;

//------------------------------------------------------------------------------
vtkCachedPolyDataNormals::~vtkCachedPolyDataNormals() = default;

namespace
{
// Unit normals of every cell, as vtkPolyDataNormals computes them (vtkPolygon::ComputeNormal,
// whose triangle case is vtkTriangle::ComputeNormal), then stored as floats.
void UnitCellNormals(vtkPoints* points, const FlatCells& cells, std::vector<float>& normals)
{
  normals.resize(3 * cells.Size());
  auto* floats = vtkFloatArray::FastDownCast(points->GetData());
  const float* xyz = floats ? floats->GetPointer(0) : nullptr;
  vtkSMPTools::For(0, cells.Size(),
    [&](vtkIdType begin, vtkIdType end)
    {
      for (vtkIdType c = begin; c < end; ++c)
      {
        const vtkIdType* ids = cells.Connectivity.data() + cells.Offsets[c];
        const vtkIdType size = cells.Offsets[c + 1] - cells.Offsets[c];
        double n[3] = { 1.0, 0.0, 0.0 };
        if (size == 3 && xyz)
        {
          double v[3][3];
          for (int k = 0; k < 3; ++k)
          {
            const float* x = xyz + 3 * ids[k];
            v[k][0] = x[0];
            v[k][1] = x[1];
            v[k][2] = x[2];
          }
          vtkTriangle::ComputeNormal(v[0], v[1], v[2], n);
        }
        else
        {
          vtkPolygon::ComputeNormal(points, static_cast<int>(size), ids, n);
        }
        normals[3 * c] = static_cast<float>(n[0]);
        normals[3 * c + 1] = static_cast<float>(n[1]);
        normals[3 * c + 2] = static_cast<float>(n[2]);
      }
    });
}

template <typename T>
void GatherAs(const T* from, const std::vector<std::uint32_t>& order, T* to)
{
  vtkSMPTools::For(0, static_cast<vtkIdType>(order.size()),
    [&](vtkIdType begin, vtkIdType end)
    {
      for (vtkIdType r = begin; r < end; ++r)
      {
        const T* x = from + 3 * static_cast<vtkIdType>(order[r]);
        T* y = to + 3 * r;
        y[0] = x[0];
        y[1] = x[1];
        y[2] = x[2];
      }
    });
}

// The points in the order given (rank -> point), into `to`, of the same value type; false
// when the points are neither floats nor doubles.
bool Gather(vtkPoints* from, const std::vector<std::uint32_t>& order, vtkPoints* to)
{
  const vtkIdType n = static_cast<vtkIdType>(order.size());
  if (from->GetNumberOfPoints() < n)
  {
    return false;
  }
  if (auto* f = vtkFloatArray::FastDownCast(from->GetData()))
  {
    to->SetDataTypeToFloat();
    to->SetNumberOfPoints(n);
    GatherAs(f->GetPointer(0), order, vtkFloatArray::FastDownCast(to->GetData())->GetPointer(0));
    return true;
  }
  if (auto* d = vtkDoubleArray::FastDownCast(from->GetData()))
  {
    to->SetDataTypeToDouble();
    to->SetNumberOfPoints(n);
    GatherAs(d->GetPointer(0), order, vtkDoubleArray::FastDownCast(to->GetData())->GetPointer(0));
    return true;
  }
  return false;
}

// Whether each cell of ordered (input point ids) is the input's cell as it is (0) or reversed
// (1); false when some cell is neither.
bool Reversals(const FlatCells& input, const FlatCells& ordered, std::vector<unsigned char>& out)
{
  if (input.Offsets != ordered.Offsets)
  {
    return false;
  }
  out.assign(input.Size(), 0);
  for (vtkIdType c = 0; c < input.Size(); ++c)
  {
    const auto first = input.Connectivity.begin() + input.Offsets[c];
    const auto last = input.Connectivity.begin() + input.Offsets[c + 1];
    const auto same = ordered.Connectivity.begin() + ordered.Offsets[c];
    if (std::equal(first, last, same))
    {
      continue;
    }
    if (!std::equal(std::make_reverse_iterator(last), std::make_reverse_iterator(first), same))
    {
      return false;
    }
    out[c] = 1;
  }
  return true;
}

// Unit length, or left as it is when zero.
inline void StoreUnit(const float sum[3], float* n)
{
  const double length = std::sqrt(static_cast<double>(sum[0]) * sum[0] +
    static_cast<double>(sum[1]) * sum[1] + static_cast<double>(sum[2]) * sum[2]);
  for (int j = 0; j < 3; ++j)
  {
    n[j] = length != 0.0 ? static_cast<float>(sum[j] / length) : sum[j];
  }
}
}

//------------------------------------------------------------------------------
bool vtkCachedPolyDataNormals::Topology::Rank(vtkPoints* points, const FlatCells& cells)
{
  if (!LocalOrder::Scattered(cells))
  {
    return false;
  }
  bool made = false;
  if (auto* f = vtkFloatArray::FastDownCast(points->GetData()))
  {
    made = this->Order.Make(f->GetPointer(0), points->GetNumberOfPoints(), cells);
  }
  else if (auto* d = vtkDoubleArray::FastDownCast(points->GetData()))
  {
    made = this->Order.Make(d->GetPointer(0), points->GetNumberOfPoints(), cells);
  }
  if (!made)
  {
    return false;
  }
  const vtkIdType numPoints = static_cast<vtkIdType>(this->Order.PointOrder.size());
  std::vector<std::uint32_t> pointRank(numPoints);
  for (vtkIdType r = 0; r < numPoints; ++r)
  {
    pointRank[this->Order.PointOrder[r]] = static_cast<std::uint32_t>(r);
  }
  FlatCells& ranked = this->RankedCells;
  ranked.Offsets.assign(1, 0);
  ranked.Offsets.reserve(cells.Offsets.size());
  ranked.Connectivity.clear();
  ranked.Connectivity.reserve(cells.Connectivity.size());
  for (std::uint32_t c : this->Order.CellOrder)
  {
    for (vtkIdType j = cells.Offsets[c]; j < cells.Offsets[c + 1]; ++j)
    {
      ranked.Connectivity.push_back(pointRank[cells.Connectivity[j]]);
    }
    ranked.Offsets.push_back(static_cast<vtkIdType>(ranked.Connectivity.size()));
  }
  this->Gathered = vtkSmartPointer<vtkPoints>::New();
  return true;
}

//------------------------------------------------------------------------------
bool vtkCachedPolyDataNormals::Topology::CellNormalRows(vtkPoints* points, const FlatCells& cells)
{
  if (this->Order.PointOrder.empty())
  {
    UnitCellNormals(points, cells, this->CellNormals);
    return true;
  }
  if (!Gather(points, this->Order.PointOrder, this->Gathered))
  {
    return false;
  }
  UnitCellNormals(this->Gathered, this->RankedCells, this->CellNormals);
  return true;
}

//------------------------------------------------------------------------------
void vtkCachedPolyDataNormals::PointNormals(const Topology& t, float* n)
{
  const FeatureSplitting& split = t.Split;
  const float* cellNormals = t.CellNormals.data();
  const bool ranked = !t.Order.PointOrder.empty();
  // The points in rank order when ranked, and the entries of each with the rows of their
  // cells' normals.
  const std::uint32_t* order = ranked ? t.Order.PointOrder.data() : nullptr;
  const vtkIdType* start = ranked ? t.RankedStart.data() : split.GetStart().data();
  const std::uint32_t* narrowRow =
    ranked ? t.RankedRow.data() : (t.NarrowCell.empty() ? nullptr : t.NarrowCell.data());
  const vtkIdType* wideRow = split.GetCell().data();
  const vtkIdType* splitStart = split.GetStart().data();
  const vtkIdType* outputOf = split.GetOutput().data();
  const int* regions = split.GetRegions().data();
  vtkSMPTools::For(0, t.InputPoints,
    [&](vtkIdType begin, vtkIdType end)
    {
      std::vector<vtkIdType> targets;
      std::vector<float> sums;
      for (vtkIdType i = begin; i < end; ++i)
      {
        const vtkIdType p = order ? static_cast<vtkIdType>(order[i]) : i;
        auto normalOf = [&](vtkIdType k)
        { return cellNormals + 3 * (narrowRow ? static_cast<vtkIdType>(narrowRow[k]) : wideRow[k]); };
        if (regions[p] == 1)
        {
          // Most points are not split: every cell around p gives p itself.
          float sum[3] = { 0.0f, 0.0f, 0.0f };
          for (vtkIdType k = start[i]; k < start[i + 1]; ++k)
          {
            const float* c = normalOf(k);
            sum[0] += c[0];
            sum[1] += c[1];
            sum[2] += c[2];
          }
          StoreUnit(sum, n + 3 * p);
          continue;
        }
        targets.assign(1, p);
        sums.assign(3, 0.0f);
        for (vtkIdType k = start[i]; k < start[i + 1]; ++k)
        {
          const vtkIdType output = outputOf[splitStart[p] + (k - start[i])];
          size_t slot = 0;
          while (slot < targets.size() && targets[slot] != output)
          {
            ++slot;
          }
          if (slot == targets.size())
          {
            targets.push_back(output);
            sums.resize(sums.size() + 3, 0.0f);
          }
          const float* c = normalOf(k);
          float* sum = sums.data() + 3 * slot;
          sum[0] += c[0];
          sum[1] += c[1];
          sum[2] += c[2];
        }
        for (size_t slot = 0; slot < targets.size(); ++slot)
        {
          StoreUnit(sums.data() + 3 * slot, n + 3 * targets[slot]);
        }
      }
    });
}

//------------------------------------------------------------------------------
int vtkCachedPolyDataNormals::RequestData(
  vtkInformation* request, vtkInformationVector** inputVector, vtkInformationVector* outputVector)
{
  vtkPolyData* input = vtkPolyData::GetData(inputVector[0]);
  vtkPolyData* output = vtkPolyData::GetData(outputVector);
  if (!input || !output)
  {
    return 0;
  }
  if (this->Kept && this->ExecuteOnKeptCells(input, output))
  {
    return 1;
  }
  return this->ExecuteFully(request, input, outputVector);
}

//------------------------------------------------------------------------------
int vtkCachedPolyDataNormals::ExecuteFully(
  vtkInformation* request, vtkPolyData* input, vtkInformationVector* outputVector)
{
  this->Kept.reset();
  ++this->NumberOfFullExecutions;
  const vtkIdType numPoints = input->GetNumberOfPoints();
  const bool keepable = !this->AutoOrientNormals && !this->FlipNormals &&
    !this->ComputeCellNormals && this->ComputePointNormals && input->GetNumberOfPolys() > 0 &&
    input->GetNumberOfStrips() == 0;

  // vtkPolyDataNormals runs on a copy of the input that carries each point's id.
  auto tagged = vtkSmartPointer<vtkPolyData>::New();
  tagged->ShallowCopy(input);
  if (keepable)
  {
    auto ids = vtkSmartPointer<vtkIdTypeArray>::New();
    ids->SetName(InputIdsName);
    ids->SetNumberOfTuples(numPoints);
    std::iota(ids->GetPointer(0), ids->GetPointer(0) + numPoints, vtkIdType(0));
    tagged->GetPointData()->AddArray(ids);
  }
  vtkNew<vtkInformation> taggedInfo;
  taggedInfo->Set(vtkDataObject::DATA_OBJECT(), tagged);
  vtkNew<vtkInformationVector> taggedVector;
  taggedVector->Append(taggedInfo);
  vtkInformationVector* inputs[1] = { taggedVector };
  const int ok = this->Superclass::RequestData(request, inputs, outputVector);

  vtkPolyData* output = vtkPolyData::GetData(outputVector);
  if (!keepable || !ok || !output)
  {
    return ok;
  }
  auto* map = vtkIdTypeArray::SafeDownCast(output->GetPointData()->GetArray(InputIdsName));
  if (!map)
  {
    return ok;
  }
  std::vector<vtkIdType> inputIds(
    map->GetPointer(0), map->GetPointer(0) + map->GetNumberOfTuples());
  output->GetPointData()->RemoveArray(InputIdsName);
  const vtkIdType numOut = static_cast<vtkIdType>(inputIds.size());
  if (output->GetNumberOfPoints() != numOut ||
    output->GetNumberOfPolys() != input->GetNumberOfPolys())
  {
    return ok;
  }

  // The output cells with input point ids: the input's cells, some reversed.
  FlatCells outputCells;
  outputCells.Read(output->GetPolys());
  FlatCells ordered = outputCells;
  for (vtkIdType& id : ordered.Connectivity)
  {
    if (id < 0 || id >= numOut)
    {
      return ok;
    }
    id = inputIds[id];
  }
  FlatCells inputCells;
  inputCells.Read(input->GetPolys());
  std::vector<unsigned char> reversed;
  if (!Reversals(inputCells, ordered, reversed))
  {
    return ok;
  }
  auto kept = std::make_unique<Topology>();
  Topology& t = *kept;
  const bool ranked = t.Rank(input->GetPoints(), ordered);
  if (!t.CellNormalRows(input->GetPoints(), ordered))
  {
    return ok;
  }
  const double cosAngle = std::cos(vtkMath::RadiansFromDegrees(this->FeatureAngle));
  if (!t.Split.Build(std::move(ordered), std::move(reversed), numPoints, this->Splitting != 0,
        cosAngle, t.CellNormals, ranked ? t.Order.CellRank : std::vector<std::uint32_t>(),
        outputCells.Connectivity.data()) ||
    t.Split.GetMap() != inputIds)
  {
    return ok;
  }

  const std::vector<vtkIdType>& start = t.Split.GetStart();
  const std::vector<vtkIdType>& cellOf = t.Split.GetCell();
  if (ranked)
  {
    t.RankedStart.assign(1, 0);
    t.RankedStart.reserve(numPoints + 1);
    t.RankedRow.reserve(cellOf.size());
    for (std::uint32_t p : t.Order.PointOrder)
    {
      for (vtkIdType k = start[p]; k < start[p + 1]; ++k)
      {
        t.RankedRow.push_back(t.Order.CellRank[cellOf[k]]);
      }
      t.RankedStart.push_back(static_cast<vtkIdType>(t.RankedRow.size()));
    }
  }
  else if (t.Split.GetCells().Size() <= static_cast<vtkIdType>(UINT32_MAX))
  {
    t.NarrowCell.assign(cellOf.begin(), cellOf.end());
  }

  // The output takes cells of this filter's own, which later executions rewrite in place.
  auto offsets = vtkSmartPointer<vtkIdTypeArray>::New();
  offsets->SetNumberOfTuples(static_cast<vtkIdType>(outputCells.Offsets.size()));
  std::copy(outputCells.Offsets.begin(), outputCells.Offsets.end(), offsets->GetPointer(0));
  t.OutputIds = vtkSmartPointer<vtkIdTypeArray>::New();
  t.OutputIds->SetNumberOfTuples(static_cast<vtkIdType>(outputCells.Connectivity.size()));
  std::copy(
    outputCells.Connectivity.begin(), outputCells.Connectivity.end(), t.OutputIds->GetPointer(0));
  t.OutputPolys = vtkSmartPointer<vtkCellArray>::New();
  t.OutputPolys->SetData(offsets, t.OutputIds);
  output->SetPolys(t.OutputPolys);

  t.Verts = InputStamp::Of(input->GetVerts());
  t.Lines = InputStamp::Of(input->GetLines());
  t.Polys = InputStamp::Of(input->GetPolys());
  t.Strips = InputStamp::Of(input->GetStrips());
  t.InputPoints = numPoints;
  t.FeatureAngle = this->FeatureAngle;
  t.Splitting = this->Splitting;
  t.Consistency = this->Consistency;
  t.NonManifoldTraversal = this->NonManifoldTraversal;
  t.OutputPointsPrecision = this->OutputPointsPrecision;
  this->Kept = std::move(kept);
  return ok;
}

//------------------------------------------------------------------------------
bool vtkCachedPolyDataNormals::ExecuteOnKeptCells(vtkPolyData* input, vtkPolyData* output)
{
  Topology& t = *this->Kept;
  vtkPoints* inPoints = input->GetPoints();
  if (!inPoints || !(t.Verts == InputStamp::Of(input->GetVerts())) ||
    !(t.Lines == InputStamp::Of(input->GetLines())) ||
    !(t.Polys == InputStamp::Of(input->GetPolys())) ||
    !(t.Strips == InputStamp::Of(input->GetStrips())) ||
    t.InputPoints != input->GetNumberOfPoints() || t.FeatureAngle != this->FeatureAngle ||
    t.Splitting != this->Splitting || t.Consistency != this->Consistency ||
    t.NonManifoldTraversal != this->NonManifoldTraversal ||
    t.OutputPointsPrecision != this->OutputPointsPrecision || this->AutoOrientNormals ||
    this->FlipNormals || this->ComputeCellNormals || !this->ComputePointNormals)
  {
    return false;
  }

  // 1. Cell normals, and the splitting they give: updated where shared edges crossed the
  // feature angle, left to vtkPolyDataNormals where one lies too close to it to tell.
  if (!t.CellNormalRows(inPoints, t.Split.GetCells()))
  {
    return false;
  }
  switch (t.Split.Update(t.CellNormals, t.OutputIds->GetPointer(0)))
  {
    case FeatureSplitting::TooCloseToTell:
      return false;
    case FeatureSplitting::Changed:
      // Filters downstream follow the rewritten entries instead of reading all cells again.
      // The cell array holds an array of its own over the same memory: the note goes there.
      t.OutputIds->Modified();
      RewrittenIds::Record(t.OutputPolys->GetConnectivityArray(), t.Split.GetRewritten());
      t.OutputPolys->Modified();
      t.FromIds = nullptr;
      ++this->NumberOfSplittingUpdates;
      break;
    case FeatureSplitting::Unchanged:
      break;
  }

  // 2. The output points: the input's, or copies of them where points were split.
  const std::vector<vtkIdType>& map = t.Split.GetMap();
  const vtkIdType numIn = t.InputPoints;
  const vtkIdType numOut = static_cast<vtkIdType>(map.size());
  vtkSmartPointer<vtkPoints> points = inPoints;
  if (this->Splitting)
  {
    points = vtkSmartPointer<vtkPoints>::New();
    if (this->OutputPointsPrecision == vtkAlgorithm::SINGLE_PRECISION)
    {
      points->SetDataType(VTK_FLOAT);
    }
    else if (this->OutputPointsPrecision == vtkAlgorithm::DOUBLE_PRECISION)
    {
      points->SetDataType(VTK_DOUBLE);
    }
    else
    {
      points->SetDataType(inPoints->GetDataType());
    }
    points->SetNumberOfPoints(numOut);
    auto* from = vtkFloatArray::FastDownCast(inPoints->GetData());
    auto* to = vtkFloatArray::FastDownCast(points->GetData());
    vtkSMPTools::For(0, numOut,
      [&](vtkIdType begin, vtkIdType end)
      {
        for (vtkIdType i = begin; i < end; ++i)
        {
          if (from && to)
          {
            const float* x = from->GetPointer(3 * map[i]);
            float* y = to->GetPointer(3 * i);
            y[0] = x[0];
            y[1] = x[1];
            y[2] = x[2];
          }
          else
          {
            double x[3];
            inPoints->GetPoint(map[i], x);
            points->SetPoint(i, x);
          }
        }
      });
  }

  // 3. Point normals: the sum of the normals of the cells around each output point, in cell
  // order, made unit length. An input point's cells give its own output points only.
  auto normals = vtkSmartPointer<vtkFloatArray>::New();
  normals->SetNumberOfComponents(3);
  normals->SetName("Normals");
  normals->SetNumberOfTuples(numOut);
  PointNormals(t, normals->GetPointer(0));

  // 4. The output: kept cells, points, the input's point data through the correspondence,
  // its cell data as it is.
  output->Initialize();
  output->SetPoints(points);
  vtkPointData* inPD = input->GetPointData();
  vtkPointData* outPD = output->GetPointData();
  outPD->CopyNormalsOff();
  if (numOut == numIn)
  {
    outPD->PassData(inPD);
  }
  else if (inPD->GetNumberOfArrays() > 0)
  {
    if (!t.FromIds || t.FromIds->GetNumberOfIds() != numOut)
    {
      t.FromIds = vtkSmartPointer<vtkIdList>::New();
      t.ToIds = vtkSmartPointer<vtkIdList>::New();
      t.FromIds->SetNumberOfIds(numOut);
      t.ToIds->SetNumberOfIds(numOut);
      std::copy(map.begin(), map.end(), t.FromIds->GetPointer(0));
      std::iota(t.ToIds->GetPointer(0), t.ToIds->GetPointer(0) + numOut, vtkIdType(0));
    }
    outPD->CopyAllocate(inPD, numOut);
    outPD->CopyData(inPD, t.FromIds, t.ToIds);
  }
  outPD->SetNormals(normals);
  output->GetCellData()->PassData(input->GetCellData());
  output->SetVerts(input->GetVerts());
  output->SetLines(input->GetLines());
  output->SetPolys(t.OutputPolys);
  return true;
}

//------------------------------------------------------------------------------
void vtkCachedPolyDataNormals::PrintSelf(ostream& os, vtkIndent indent)
{
  this->Superclass::PrintSelf(os, indent);
  os << indent << "NumberOfFullExecutions: " << this->NumberOfFullExecutions << "\n";
  os << indent << "NumberOfSplittingUpdates: " << this->NumberOfSplittingUpdates << "\n";
  os << indent << "Kept cells: " << (this->Kept ? "yes" : "no") << "\n";
}
