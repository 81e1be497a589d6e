#include "vtkCachedPolyDataNormals.h"
#include "InputStamp.h"

#include "vtkCellArray.h"
#include "vtkCellArrayIterator.h"
#include "vtkCellData.h"
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

#include <atomic>
#include <cmath>
#include <numeric>
#include <vector>

vtkStandardNewMacro(vtkCachedPolyDataNormals);

namespace
{
// The point data array that carries each input point's id through vtkPolyDataNormals, so
// that the output point of a split tells which input point it copies.
const char* const InputIdsName = "vtkCachedPolyDataNormals input point ids";

// A cos of an angle between cell normals this close to the feature angle's might fall on
// either side in vtkPolyDataNormals' own arithmetic: the splitting is then left to it.
constexpr double FeatureMargin = 1e-9;

// Cells as flat arrays: cell c holds Connectivity[Offsets[c] .. Offsets[c + 1]).
struct FlatCells
{
  std::vector<vtkIdType> Offsets{ 0 };
  std::vector<vtkIdType> Connectivity;

  void Read(vtkCellArray* cells)
  {
    this->Offsets.assign(1, 0);
    this->Connectivity.clear();
    this->Offsets.reserve(cells->GetNumberOfCells() + 1);
    this->Connectivity.reserve(cells->GetNumberOfConnectivityIds());
    auto it = vtk::TakeSmartPointer(cells->NewIterator());
    for (it->GoToFirstCell(); !it->IsDoneWithTraversal(); it->GoToNextCell())
    {
      vtkIdType n;
      const vtkIdType* ids;
      it->GetCurrentCell(n, ids);
      this->Connectivity.insert(this->Connectivity.end(), ids, ids + n);
      this->Offsets.push_back(static_cast<vtkIdType>(this->Connectivity.size()));
    }
  }
  vtkIdType Size() const { return static_cast<vtkIdType>(this->Offsets.size()) - 1; }
};

// For each point, the cells that use it, in increasing cell order, once per use.
struct PointCells
{
  std::vector<vtkIdType> Start;
  std::vector<vtkIdType> Cells;

  void Build(const FlatCells& cells, vtkIdType numPoints)
  {
    this->Start.assign(numPoints + 1, 0);
    for (vtkIdType id : cells.Connectivity)
    {
      ++this->Start[id + 1];
    }
    std::partial_sum(this->Start.begin(), this->Start.end(), this->Start.begin());
    this->Cells.resize(cells.Connectivity.size());
    std::vector<vtkIdType> next(this->Start.begin(), this->Start.end() - 1);
    for (vtkIdType c = 0; c < cells.Size(); ++c)
    {
      for (vtkIdType j = cells.Offsets[c]; j < cells.Offsets[c + 1]; ++j)
      {
        this->Cells[next[cells.Connectivity[j]]++] = c;
      }
    }
  }
};
}

// What the cells alone decide, from the last full execution.
struct vtkCachedPolyDataNormals::Topology
{
  // The input and settings it was made for.
  InputStamp Verts, Lines, Polys, Strips;
  vtkIdType InputPoints = 0;
  double FeatureAngle = 0;
  vtkTypeBool Splitting = 0, Consistency = 0, NonManifoldTraversal = 0;
  int OutputPointsPrecision = 0;

  // The output cells (ordered consistently, split point ids), shared by every output.
  vtkSmartPointer<vtkCellArray> OutputPolys;
  FlatCells Cells;
  // Output point i copies input point Map[i]; Identity when no point was split.
  std::vector<vtkIdType> Map;
  bool Identity = true;
  vtkSmartPointer<vtkIdList> FromIds, ToIds;
  PointCells Around;
  // Pairs of cells that share an edge no other cell uses, and whether their normals were
  // within the feature angle (so the edge was not split).
  std::vector<vtkIdType> PairA, PairB;
  std::vector<unsigned char> Joined;
  double CosAngle = 0;
  // Scratch: one normal per cell.
  std::vector<float> CellNormals;
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

// The cos of the angle between two cell normals, as the feature-edge test reads it.
double Cos(const std::vector<float>& normals, vtkIdType a, vtkIdType b)
{
  const double u[3] = { normals[3 * a], normals[3 * a + 1], normals[3 * a + 2] };
  const double v[3] = { normals[3 * b], normals[3 * b + 1], normals[3 * b + 2] };
  return vtkMath::Dot(u, v);
}
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
  auto kept = std::make_unique<Topology>();
  kept->Map.assign(map->GetPointer(0), map->GetPointer(0) + map->GetNumberOfTuples());
  output->GetPointData()->RemoveArray(InputIdsName);

  Topology& t = *kept;
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
  t.CosAngle = std::cos(vtkMath::RadiansFromDegrees(this->FeatureAngle));

  const vtkIdType numOut = static_cast<vtkIdType>(t.Map.size());
  t.Identity = numOut == numPoints;
  for (vtkIdType i = 0; t.Identity && i < numOut; ++i)
  {
    t.Identity = t.Map[i] == i;
  }
  t.FromIds = vtkSmartPointer<vtkIdList>::New();
  t.ToIds = vtkSmartPointer<vtkIdList>::New();
  t.FromIds->SetNumberOfIds(numOut);
  t.ToIds->SetNumberOfIds(numOut);
  for (vtkIdType i = 0; i < numOut; ++i)
  {
    t.FromIds->SetId(i, t.Map[i]);
    t.ToIds->SetId(i, i);
  }

  t.OutputPolys = output->GetPolys();
  t.Cells.Read(t.OutputPolys);
  if (t.Cells.Size() != input->GetNumberOfPolys() || output->GetNumberOfPoints() != numOut)
  {
    return ok;
  }
  t.Around.Build(t.Cells, numOut);

  // The pairs of cells across each edge that exactly two cells share, found with the input's
  // own point ids (a split separates the cells' output points).
  FlatCells inputCells;
  inputCells.Read(input->GetPolys());
  PointCells inputAround;
  inputAround.Build(inputCells, numPoints);
  for (vtkIdType c = 0; c < inputCells.Size(); ++c)
  {
    const vtkIdType first = inputCells.Offsets[c];
    const vtkIdType size = inputCells.Offsets[c + 1] - first;
    for (vtkIdType j = 0; j < size; ++j)
    {
      const vtkIdType a = inputCells.Connectivity[first + j];
      const vtkIdType b = inputCells.Connectivity[first + (j + 1) % size];
      if (a == b)
      {
        return ok; // a degenerate cell: splitting decisions are left to the full execution
      }
      vtkIdType others = 0;
      vtkIdType other = -1;
      for (vtkIdType k = inputAround.Start[a]; k < inputAround.Start[a + 1]; ++k)
      {
        const vtkIdType d = inputAround.Cells[k];
        if (d == c)
        {
          continue;
        }
        for (vtkIdType l = inputAround.Start[b]; l < inputAround.Start[b + 1]; ++l)
        {
          if (inputAround.Cells[l] == d)
          {
            ++others;
            other = d;
            break;
          }
        }
      }
      if (others == 1 && other > c)
      {
        t.PairA.push_back(c);
        t.PairB.push_back(other);
      }
    }
  }

  UnitCellNormals(output->GetPoints(), t.Cells, t.CellNormals);
  t.Joined.resize(t.PairA.size());
  for (size_t p = 0; p < t.PairA.size(); ++p)
  {
    const double cosine = Cos(t.CellNormals, t.PairA[p], t.PairB[p]);
    if (std::fabs(cosine - t.CosAngle) <= FeatureMargin)
    {
      return ok;
    }
    t.Joined[p] = cosine > t.CosAngle ? 1 : 0;
  }
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

  // 1. The output points: the input's, or copies of them where points were split.
  const vtkIdType numOut = static_cast<vtkIdType>(t.Map.size());
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
            const float* x = from->GetPointer(3 * t.Map[i]);
            float* y = to->GetPointer(3 * i);
            y[0] = x[0];
            y[1] = x[1];
            y[2] = x[2];
          }
          else
          {
            double x[3];
            inPoints->GetPoint(t.Map[i], x);
            points->SetPoint(i, x);
          }
        }
      });
  }

  // 2. Cell normals; the splitting stands only while no shared edge crossed the feature
  // angle.
  UnitCellNormals(points, t.Cells, t.CellNormals);
  std::atomic<bool> changed{ false };
  vtkSMPTools::For(0, static_cast<vtkIdType>(t.PairA.size()),
    [&](vtkIdType begin, vtkIdType end)
    {
      for (vtkIdType p = begin; p < end && !changed.load(std::memory_order_relaxed); ++p)
      {
        const double cosine = Cos(t.CellNormals, t.PairA[p], t.PairB[p]);
        if (std::fabs(cosine - t.CosAngle) <= FeatureMargin ||
          (cosine > t.CosAngle) != (t.Joined[p] != 0))
        {
          changed.store(true, std::memory_order_relaxed);
        }
      }
    });
  if (changed.load())
  {
    return false;
  }

  // 3. Point normals: the sum of the normals of the cells around each point, in cell order,
  // made unit length.
  auto normals = vtkSmartPointer<vtkFloatArray>::New();
  normals->SetNumberOfComponents(3);
  normals->SetName("Normals");
  normals->SetNumberOfTuples(numOut);
  float* n = normals->GetPointer(0);
  const float* cellNormals = t.CellNormals.data();
  vtkSMPTools::For(0, numOut,
    [&](vtkIdType begin, vtkIdType end)
    {
      for (vtkIdType i = begin; i < end; ++i)
      {
        float sum[3] = { 0.0f, 0.0f, 0.0f };
        for (vtkIdType k = t.Around.Start[i]; k < t.Around.Start[i + 1]; ++k)
        {
          const float* c = cellNormals + 3 * t.Around.Cells[k];
          sum[0] += c[0];
          sum[1] += c[1];
          sum[2] += c[2];
        }
        const double length = std::sqrt(static_cast<double>(sum[0]) * sum[0] +
          static_cast<double>(sum[1]) * sum[1] + static_cast<double>(sum[2]) * sum[2]);
        for (int j = 0; j < 3; ++j)
        {
          n[3 * i + j] = length != 0.0 ? static_cast<float>(sum[j] / length) : sum[j];
        }
      }
    });

  // 4. The output: kept cells, points, the input's point data through the correspondence,
  // its cell data as it is.
  output->Initialize();
  output->SetPoints(points);
  vtkPointData* inPD = input->GetPointData();
  vtkPointData* outPD = output->GetPointData();
  outPD->CopyNormalsOff();
  if (t.Identity)
  {
    outPD->PassData(inPD);
  }
  else if (inPD->GetNumberOfArrays() > 0)
  {
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
  os << indent << "Kept cells: " << (this->Kept ? "yes" : "no") << "\n";
}
