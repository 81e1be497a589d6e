#include "vtkLabelThreshold.h"
#include "InputStamp.h"
#include "RewrittenIds.h"

#include "vtkCellArray.h"
#include "vtkCellData.h"
#include "vtkDataArray.h"
#include "vtkFloatArray.h"
#include "vtkIdList.h"
#include "vtkIdTypeArray.h"
#include "vtkInformation.h"
#include "vtkInformationVector.h"
#include "vtkObjectFactory.h"
#include "vtkPointData.h"
#include "vtkPoints.h"
#include "vtkPolyData.h"
#include "vtkSMPTools.h"
#include "vtkSmartPointer.h"

#include <algorithm>
#include <limits>
#include <numeric>
#include <vector>

vtkStandardNewMacro(vtkLabelThreshold);

namespace
{
// The cell arrays and every cell data array of a model.
std::vector<InputStamp> CellStamps(vtkPolyData* input)
{
  std::vector<InputStamp> stamps{ InputStamp::Of(input->GetVerts()),
    InputStamp::Of(input->GetLines()), InputStamp::Of(input->GetPolys()),
    InputStamp::Of(input->GetStrips()) };
  vtkCellData* cd = input->GetCellData();
  for (int i = 0; i < cd->GetNumberOfArrays(); ++i)
  {
    stamps.push_back(InputStamp::Of(cd->GetAbstractArray(i)));
  }
  stamps.push_back(InputStamp::Of(cd->GetScalars()));
  return stamps;
}

// Copies tuples from[i] of a float array into tuple i of another, spread over the cores.
void Gather(vtkFloatArray* from, vtkFloatArray* to, const std::vector<vtkIdType>& ids)
{
  const int nc = from->GetNumberOfComponents();
  const float* src = from->GetPointer(0);
  float* dst = to->GetPointer(0);
  vtkSMPTools::For(0, static_cast<vtkIdType>(ids.size()),
    [&](vtkIdType begin, vtkIdType end)
    {
      for (vtkIdType i = begin; i < end; ++i)
      {
        const float* x = src + nc * ids[i];
        float* y = dst + nc * i;
        for (int c = 0; c < nc; ++c)
        {
          y[c] = x[c];
        }
      }
    });
}

// Calls f(ids, begin, end) for each kept cell of the types from first to last (0 to 3:
// vertices, lines, polygons, strips) in order, its point ids being ids[begin] to ids[end - 1],
// read straight from the cell array's storage. keep holds a flag per input cell, the types'
// cells in turn; counts the number of cells of each type.
template <typename F>
void ForKeptCells(vtkCellArray* const cells[4], const vtkIdType counts[4],
  const std::vector<unsigned char>& keep, int first, int last, F&& f)
{
  const unsigned char* kept = keep.data();
  for (int type = 0; type < first; ++type)
  {
    kept += counts[type];
  }
  for (int type = first; type <= last; kept += counts[type++])
  {
    const vtkIdType numCells = counts[type];
    if (!cells[type] || numCells == 0 || std::find(kept, kept + numCells, 1) == kept + numCells)
    {
      continue;
    }
    auto walk = [&](const auto* offsets, const auto* ids)
    {
      for (vtkIdType c = 0; c < numCells; ++c)
      {
        if (kept[c])
        {
          f(ids, static_cast<vtkIdType>(offsets[c]), static_cast<vtkIdType>(offsets[c + 1]));
        }
      }
    };
    if (cells[type]->IsStorage64Bit())
    {
      walk(cells[type]->GetOffsetsArray64()->GetPointer(0),
        cells[type]->GetConnectivityArray64()->GetPointer(0));
    }
    else
    {
      walk(cells[type]->GetOffsetsArray32()->GetPointer(0),
        cells[type]->GetConnectivityArray32()->GetPointer(0));
    }
  }
}
}

// The kept cells and points for one input and one setting of the filter.
struct vtkLabelThreshold::Selection
{
  std::vector<InputStamp> Input;
  vtkIdType InputPoints = 0;
  double Lower = 0, Upper = 0;
  int Function = 0;
  vtkTypeBool KeepUnlabelled = 0;
  vtkIdType CellCounts[4] = { 0, 0, 0, 0 };

  // Whether each input cell (verts, lines, polys, strips in turn) is kept.
  std::vector<unsigned char> Keep;
  // Output cells (in output point ids) and their data, shared by every output.
  vtkSmartPointer<vtkCellArray> Cells[4];
  vtkSmartPointer<vtkCellData> CellData;
  // Whether the kept cells use every input point: the output's points are then the input's,
  // numbered alike. Otherwise output point i copies input point Points[i] (the used points in
  // input order).
  bool SamePoints = false;
  std::vector<vtkIdType> Points;
  // A mark per input point used by a kept cell, and the output id of each used point (the
  // number of used points before it).
  std::vector<unsigned char> Used;
  std::vector<vtkIdType> NewId;
  // The storage of the output cells (offsets and point ids), reused from selection to
  // selection.
  vtkSmartPointer<vtkIdTypeArray> Offsets[4], Ids[4];
  // The same correspondence as id lists, made when point data other than floats asks for it.
  vtkSmartPointer<vtkIdList> FromIds, ToIds;

  // For following polygon point ids rewritten in place: the polygons' storage as last seen,
  // and, made at the first rewrite followed, how many kept corners use each input point, where
  // each kept polygon's corners start in the output's connectivity, and the kept corners (as
  // pairs of input and output position) whose point lies at or after TailFrom: the ones whose
  // output ids move when the numbering from there on moves.
  InputStamp PolyIds, PolyOffsets;
  bool Counted = false;
  std::vector<vtkIdType> Uses;
  std::vector<vtkIdType> PolyOutput;
  vtkIdType TailFrom = -1;
  std::vector<vtkIdType> Tail;
  std::vector<unsigned char> InTail; // per polygon corner
};

//------------------------------------------------------------------------------
vtkLabelThreshold::vtkLabelThreshold()
  : LowerThreshold(-std::numeric_limits<double>::infinity())
  , UpperThreshold(std::numeric_limits<double>::infinity())
  , ThresholdFunction(THRESHOLD_BETWEEN)
  , KeepUnlabelled(0)
{
}

//------------------------------------------------------------------------------
vtkLabelThreshold::~vtkLabelThreshold() = default;

//------------------------------------------------------------------------------
bool vtkLabelThreshold::Keeps(double label) const
{
  switch (this->ThresholdFunction)
  {
    case THRESHOLD_LOWER:
      return label <= this->LowerThreshold;
    case THRESHOLD_UPPER:
      return label >= this->UpperThreshold;
    default:
      return this->LowerThreshold <= label && label <= this->UpperThreshold;
  }
}

//------------------------------------------------------------------------------
void vtkLabelThreshold::Select(vtkPolyData* input)
{
  if (this->FollowRewrites(input))
  {
    return;
  }
  auto s = std::make_unique<Selection>();
  s->Input = CellStamps(input);
  s->InputPoints = input->GetNumberOfPoints();
  s->Lower = this->LowerThreshold;
  s->Upper = this->UpperThreshold;
  s->Function = this->ThresholdFunction;
  s->KeepUnlabelled = this->KeepUnlabelled;
  vtkCellArray* inputCells[4] = { input->GetVerts(), input->GetLines(), input->GetPolys(),
    input->GetStrips() };
  for (int type = 0; type < 4; ++type)
  {
    s->CellCounts[type] = inputCells[type] ? inputCells[type]->GetNumberOfCells() : 0;
  }
  if (inputCells[2])
  {
    s->PolyIds = InputStamp::Of(inputCells[2]->GetConnectivityArray());
    s->PolyOffsets = InputStamp::Of(inputCells[2]->GetOffsetsArray());
  }

  // The same cells and labels with other point ids, and perhaps another number of points
  // (the splitting at feature edges moved): the kept cells and their data stay, only the
  // points are chosen again.
  Selection* last = this->Selected.get();
  if (last)
  {
    s->Points = std::move(last->Points);
    s->Used = std::move(last->Used);
    s->NewId = std::move(last->NewId);
    for (int type = 0; type < 4; ++type)
    {
      s->Offsets[type] = last->Offsets[type];
      s->Ids[type] = last->Ids[type];
    }
  }
  if (last && last->Lower == s->Lower && last->Upper == s->Upper && last->Function == s->Function &&
    last->KeepUnlabelled == s->KeepUnlabelled &&
    std::equal(last->Input.begin() + 4, last->Input.end(), s->Input.begin() + 4, s->Input.end()) &&
    std::equal(last->CellCounts, last->CellCounts + 4, s->CellCounts))
  {
    s->Keep = std::move(last->Keep);
    s->CellData = last->CellData;
  }
  else
  {
    ++this->NumberOfSelections;
    vtkDataArray* labels = input->GetCellData()->GetScalars();
    const vtkIdType numCells =
      s->CellCounts[0] + s->CellCounts[1] + s->CellCounts[2] + s->CellCounts[3];
    s->Keep.resize(numCells);
    vtkNew<vtkIdList> keptCells;
    for (vtkIdType cellId = 0; cellId < numCells; ++cellId)
    {
      s->Keep[cellId] =
        labels ? this->Keeps(labels->GetComponent(cellId, 0)) : this->KeepUnlabelled != 0;
      if (s->Keep[cellId])
      {
        keptCells->InsertNextId(cellId);
      }
    }
    const vtkIdType kept = keptCells->GetNumberOfIds();
    vtkNew<vtkIdList> toCells;
    toCells->SetNumberOfIds(kept);
    std::iota(toCells->GetPointer(0), toCells->GetPointer(0) + kept, vtkIdType(0));
    s->CellData = vtkSmartPointer<vtkCellData>::New();
    s->CellData->CopyAllocate(input->GetCellData(), kept);
    s->CellData->CopyData(input->GetCellData(), keptCells, toCells);
  }
  this->SelectPoints(inputCells, *s);
  this->Selected = std::move(s);
}

//------------------------------------------------------------------------------
bool vtkLabelThreshold::FollowRewrites(vtkPolyData* input)
{
  // The same kept cells, all of them polygons in 64-bit storage whose point ids (and perhaps
  // the number of points) the filter upstream rewrote in place and noted which.
  Selection* s = this->Selected.get();
  vtkCellArray* polys = input->GetPolys();
  if (!s || !polys || !polys->IsStorage64Bit() || s->Lower != this->LowerThreshold ||
    s->Upper != this->UpperThreshold || s->Function != this->ThresholdFunction ||
    s->KeepUnlabelled != this->KeepUnlabelled || s->CellCounts[0] != 0 || s->CellCounts[1] != 0 ||
    s->CellCounts[3] != 0 || polys->GetNumberOfCells() != s->CellCounts[2] || !s->Cells[2] ||
    !s->Cells[2]->IsStorage64Bit())
  {
    return false;
  }
  std::vector<InputStamp> stamps = CellStamps(input);
  if (stamps.size() != s->Input.size() || stamps[0] != s->Input[0] || stamps[1] != s->Input[1] ||
    stamps[2].Object != s->Input[2].Object || stamps[3] != s->Input[3] ||
    !std::equal(stamps.begin() + 4, stamps.end(), s->Input.begin() + 4))
  {
    return false;
  }
  vtkDataArray* idArray = polys->GetConnectivityArray();
  std::vector<vtkIdType> entries;
  if (idArray != s->PolyIds.Object || InputStamp::Of(polys->GetOffsetsArray()) != s->PolyOffsets ||
    !RewrittenIds::Since(idArray, s->PolyIds.Time, entries))
  {
    return false;
  }

  const auto* offsets = polys->GetOffsetsArray64()->GetPointer(0);
  const auto* ids = polys->GetConnectivityArray64()->GetPointer(0);
  const vtkIdType numPolys = s->CellCounts[2];
  const vtkIdType oldPoints = s->InputPoints;
  const vtkIdType newPoints = input->GetNumberOfPoints();
  const unsigned char* keep = s->Keep.data();
  auto* outIds = s->Cells[2]->GetConnectivityArray64()->GetPointer(0);
  // Calls f(input position, output position) for each kept corner.
  auto forKeptCorners = [&](auto&& f)
  {
    vtkIdType out = 0;
    for (vtkIdType c = 0; c < numPolys; ++c)
    {
      if (keep[c])
      {
        for (vtkIdType j = offsets[c]; j < offsets[c + 1]; ++j)
        {
          f(j, out++);
        }
      }
    }
  };
  if (s->PolyOutput.empty())
  {
    s->PolyOutput.assign(numPolys, -1);
    vtkIdType out = 0;
    for (vtkIdType c = 0; c < numPolys; ++c)
    {
      if (keep[c])
      {
        s->PolyOutput[c] = out;
        out += offsets[c + 1] - offsets[c];
      }
    }
  }

  // 1. The kept corners that changed: input and output position, previous and new point.
  struct Change
  {
    vtkIdType In, Out, Before, After;
  };
  std::vector<Change> changes;
  changes.reserve(entries.size() / 2);
  for (size_t e = 0; e + 1 < entries.size(); e += 2)
  {
    const vtkIdType j = entries[e];
    if (j < 0 || j >= offsets[numPolys])
    {
      return false;
    }
    const vtkIdType c = std::upper_bound(offsets, offsets + numPolys + 1, j) - offsets - 1;
    if (!keep[c])
    {
      continue;
    }
    const vtkIdType before = entries[e + 1];
    const vtkIdType after = ids[j];
    if (before < 0 || before >= oldPoints || after < 0 || after >= newPoints)
    {
      return false;
    }
    changes.push_back({ j, s->PolyOutput[c] + (j - offsets[c]), before, after });
  }

  // 2. How many kept corners use each point, counted once and then kept up to date. From
  // here on a failure leaves the selection to be made again whole.
  const vtkIdType span = std::max(oldPoints, newPoints);
  if (!s->Counted)
  {
    s->Uses.assign(span, 0);
    forKeptCorners([&](vtkIdType j, vtkIdType) { ++s->Uses[ids[j]]; });
    s->Counted = true;
  }
  else
  {
    s->Uses.resize(span, 0);
    for (const Change& change : changes)
    {
      --s->Uses[change.Before];
      ++s->Uses[change.After];
    }
  }
  for (vtkIdType p = newPoints; p < oldPoints; ++p)
  {
    if (s->Uses[p] != 0)
    {
      return false;
    }
  }
  s->Uses.resize(newPoints);
  auto followed = [&]
  {
    if (s->Cells[2] != polys)
    {
      s->Cells[2]->GetConnectivityArray()->Modified();
      s->Cells[2]->Modified();
    }
    s->Input = std::move(stamps);
    s->InputPoints = newPoints;
    s->PolyIds = InputStamp::Of(idArray);
    ++this->NumberOfPointUpdates;
    return true;
  };

  // The kept cells used every point: while they still do, the output's points stay the
  // input's, and so do the point ids (the cells are the input's own when all are kept).
  if (s->SamePoints)
  {
    for (const Change& change : changes)
    {
      if (change.Before < newPoints && s->Uses[change.Before] == 0)
      {
        return false;
      }
      if (s->Cells[2] != polys)
      {
        outIds[change.Out] = change.After;
      }
    }
    for (vtkIdType p = oldPoints; p < newPoints; ++p)
    {
      if (s->Uses[p] == 0)
      {
        return false;
      }
    }
    return followed();
  }

  // 3. The first point whose use changed: the output numbering stays up to it.
  vtkIdType first = span;
  auto check = [&](vtkIdType p)
  {
    const bool now = p < newPoints && s->Uses[p] > 0;
    const bool was = p < oldPoints && s->Used[p] != 0;
    if (now != was)
    {
      first = std::min(first, p);
    }
  };
  for (const Change& change : changes)
  {
    check(change.Before);
    check(change.After);
  }
  for (vtkIdType p = std::min(oldPoints, newPoints); p < span; ++p)
  {
    check(p);
  }
  s->Used.resize(newPoints, 0);
  s->NewId.resize(newPoints, static_cast<vtkIdType>(s->Points.size()));
  const bool renumbered = first < span;
  if (renumbered)
  {
    for (const Change& change : changes)
    {
      if (change.Before < newPoints)
      {
        s->Used[change.Before] = s->Uses[change.Before] > 0;
      }
      s->Used[change.After] = s->Uses[change.After] > 0;
    }
    for (vtkIdType p = std::min(oldPoints, newPoints); p < newPoints; ++p)
    {
      s->Used[p] = s->Uses[p] > 0;
    }
    s->Points.resize(
      std::lower_bound(s->Points.begin(), s->Points.end(), first) - s->Points.begin());
    for (vtkIdType p = first; p < newPoints; ++p)
    {
      s->NewId[p] = static_cast<vtkIdType>(s->Points.size());
      if (s->Used[p])
      {
        s->Points.push_back(p);
      }
    }
    if (static_cast<vtkIdType>(s->Points.size()) == newPoints)
    {
      return false; // every point used: the output then takes the input's points
    }
    s->FromIds = nullptr;
    s->ToIds = nullptr;
  }

  // 4. The output ids of the changed corners, and of the corners whose points were numbered
  // anew: those at or after TailFrom. When the numbering moved before TailFrom, every kept
  // corner is written again, and the tail is taken anew: from the lowest point on whose
  // corners make at most a 64th of the kept ones. The points an upstream filter adds and
  // renumbers come last (as copies of split points do), so the numbering mostly moves there;
  // a point early in the model that changes use (rarely) costs one whole pass, not a long
  // tail at every later step.
  const vtkIdType* newId = s->NewId.data();
  if (renumbered && (s->TailFrom < 0 || first < s->TailFrom))
  {
    const vtkIdType budget = s->Cells[2]->GetNumberOfConnectivityIds() / 64;
    vtkIdType from = newPoints, inTail = 0;
    while (from > first && inTail + s->Uses[from - 1] <= budget)
    {
      inTail += s->Uses[--from];
    }
    s->TailFrom = from;
    s->Tail.clear();
    s->InTail.assign(offsets[numPolys], 0);
    forKeptCorners(
      [&](vtkIdType j, vtkIdType out)
      {
        const vtkIdType p = ids[j];
        outIds[out] = newId[p];
        if (p >= s->TailFrom)
        {
          s->Tail.push_back(j);
          s->Tail.push_back(out);
          s->InTail[j] = 1;
        }
      });
  }
  else
  {
    if (renumbered)
    {
      for (size_t t = 0; t < s->Tail.size(); t += 2)
      {
        outIds[s->Tail[t + 1]] = newId[ids[s->Tail[t]]];
      }
    }
    for (const Change& change : changes)
    {
      outIds[change.Out] = newId[change.After];
      if (s->TailFrom >= 0 && change.After >= s->TailFrom && !s->InTail[change.In])
      {
        s->Tail.push_back(change.In);
        s->Tail.push_back(change.Out);
        s->InTail[change.In] = 1;
      }
    }
  }
  return followed();
}

//------------------------------------------------------------------------------
void vtkLabelThreshold::SelectPoints(vtkCellArray* inputCells[4], Selection& s)
{
  // Which input points the kept cells use. The marks are bytes, so that they stay in the
  // cache even for a large model whose cells use their points in no particular order.
  s.Used.assign(s.InputPoints, 0);
  unsigned char* used = s.Used.data();
  ForKeptCells(inputCells, s.CellCounts, s.Keep, 0, 3,
    [used](const auto* ids, vtkIdType begin, vtkIdType end)
    {
      for (vtkIdType k = begin; k < end; ++k)
      {
        used[ids[k]] = 1;
      }
    });
  const vtkIdType numUsed = std::count(s.Used.begin(), s.Used.end(), 1);
  s.SamePoints = numUsed == s.InputPoints;
  s.Points.clear();
  if (!s.SamePoints)
  {
    // The used points in input order; each used point's output id.
    s.NewId.resize(s.InputPoints);
    s.Points.reserve(numUsed);
    for (vtkIdType p = 0; p < s.InputPoints; ++p)
    {
      s.NewId[p] = static_cast<vtkIdType>(s.Points.size());
      if (used[p])
      {
        s.Points.push_back(p);
      }
    }
  }
  s.FromIds = nullptr;
  s.ToIds = nullptr;

  // The kept cells in output point ids. When every cell is kept and every point used, they
  // are the input's own cell arrays.
  const bool keepsAll = std::find(s.Keep.begin(), s.Keep.end(), 0) == s.Keep.end();
  for (int type = 0; type < 4; ++type)
  {
    if (keepsAll && s.SamePoints && inputCells[type])
    {
      s.Cells[type] = inputCells[type];
      continue;
    }
    vtkIdType keptCells = 0, keptIds = 0;
    ForKeptCells(inputCells, s.CellCounts, s.Keep, type, type,
      [&](const auto*, vtkIdType begin, vtkIdType end)
      {
        ++keptCells;
        keptIds += end - begin;
      });
    // The arrays of the last selection are written again: fresh memory of this size would
    // cost more to map in than to fill.
    for (auto* store : { &s.Offsets[type], &s.Ids[type] })
    {
      if (!*store)
      {
        *store = vtkSmartPointer<vtkIdTypeArray>::New();
      }
    }
    vtkIdTypeArray* offsetArray = s.Offsets[type];
    vtkIdTypeArray* idArray = s.Ids[type];
    offsetArray->SetNumberOfTuples(keptCells + 1);
    idArray->SetNumberOfTuples(keptIds);
    vtkIdType* outOffsets = offsetArray->GetPointer(0);
    vtkIdType* outIds = idArray->GetPointer(0);
    const vtkIdType* newId = s.SamePoints ? nullptr : s.NewId.data();
    vtkIdType next = 0;
    *outOffsets++ = 0;
    ForKeptCells(inputCells, s.CellCounts, s.Keep, type, type,
      [&](const auto* ids, vtkIdType begin, vtkIdType end)
      {
        for (vtkIdType k = begin; k < end; ++k)
        {
          const auto p = static_cast<vtkIdType>(ids[k]);
          outIds[next++] = newId ? newId[p] : p;
        }
        *outOffsets++ = next;
      });
    offsetArray->Modified();
    idArray->Modified();
    s.Cells[type] = vtkSmartPointer<vtkCellArray>::New();
    s.Cells[type]->SetData(offsetArray, idArray);
  }
}

//------------------------------------------------------------------------------
void vtkLabelThreshold::MakeIdLists(Selection& s)
{
  if (s.FromIds)
  {
    return;
  }
  const vtkIdType m = static_cast<vtkIdType>(s.Points.size());
  s.FromIds = vtkSmartPointer<vtkIdList>::New();
  s.ToIds = vtkSmartPointer<vtkIdList>::New();
  s.FromIds->SetNumberOfIds(m);
  s.ToIds->SetNumberOfIds(m);
  std::copy(s.Points.begin(), s.Points.end(), s.FromIds->GetPointer(0));
  std::iota(s.ToIds->GetPointer(0), s.ToIds->GetPointer(0) + m, vtkIdType(0));
}

//------------------------------------------------------------------------------
int vtkLabelThreshold::RequestData(
  vtkInformation*, vtkInformationVector** inputVector, vtkInformationVector* outputVector)
{
  vtkPolyData* input = vtkPolyData::GetData(inputVector[0]);
  vtkPolyData* output = vtkPolyData::GetData(outputVector);
  if (!input || !output)
  {
    return 0;
  }
  Selection* s = this->Selected.get();
  if (!s || s->InputPoints != input->GetNumberOfPoints() || s->Lower != this->LowerThreshold ||
    s->Upper != this->UpperThreshold || s->Function != this->ThresholdFunction ||
    s->KeepUnlabelled != this->KeepUnlabelled || s->Input != CellStamps(input))
  {
    this->Select(input);
    s = this->Selected.get();
  }

  output->Initialize();
  output->GetCellData()->ShallowCopy(s->CellData);
  output->SetVerts(s->Cells[0]);
  output->SetLines(s->Cells[1]);
  output->SetPolys(s->Cells[2]);
  output->SetStrips(s->Cells[3]);
  if (s->SamePoints)
  {
    output->SetPoints(input->GetPoints());
    output->GetPointData()->PassData(input->GetPointData());
    return 1;
  }

  const vtkIdType m = static_cast<vtkIdType>(s->Points.size());
  vtkPoints* inPoints = input->GetPoints();
  if (inPoints && m > 0)
  {
    auto points = vtkSmartPointer<vtkPoints>::New();
    points->SetDataType(inPoints->GetDataType());
    points->SetNumberOfPoints(m);
    auto* from = vtkFloatArray::FastDownCast(inPoints->GetData());
    auto* to = vtkFloatArray::FastDownCast(points->GetData());
    if (from && to)
    {
      Gather(from, to, s->Points);
    }
    else
    {
      MakeIdLists(*s);
      points->GetData()->InsertTuples(s->ToIds, s->FromIds, inPoints->GetData());
    }
    output->SetPoints(points);
  }

  // Every point data array, with its role (normals, texture coordinates, ...).
  vtkPointData* inPD = input->GetPointData();
  vtkPointData* outPD = output->GetPointData();
  for (int i = 0; i < inPD->GetNumberOfArrays(); ++i)
  {
    vtkAbstractArray* from = inPD->GetAbstractArray(i);
    auto to = vtk::TakeSmartPointer(from->NewInstance());
    to->SetName(from->GetName());
    to->SetNumberOfComponents(from->GetNumberOfComponents());
    to->SetNumberOfTuples(m);
    auto* fromFloats = vtkFloatArray::FastDownCast(from);
    auto* toFloats = vtkFloatArray::FastDownCast(to);
    if (fromFloats && toFloats)
    {
      Gather(fromFloats, toFloats, s->Points);
    }
    else if (m > 0)
    {
      MakeIdLists(*s);
      to->InsertTuples(s->ToIds, s->FromIds, from);
    }
    const int index = outPD->AddArray(to);
    for (int role = 0; role < vtkDataSetAttributes::NUM_ATTRIBUTES; ++role)
    {
      if (inPD->GetAbstractAttribute(role) == from)
      {
        outPD->SetActiveAttribute(index, role);
      }
    }
  }
  return 1;
}

//------------------------------------------------------------------------------
void vtkLabelThreshold::PrintSelf(ostream& os, vtkIndent indent)
{
  this->Superclass::PrintSelf(os, indent);
  os << indent << "LowerThreshold: " << this->LowerThreshold << "\n";
  os << indent << "UpperThreshold: " << this->UpperThreshold << "\n";
  os << indent << "ThresholdFunction: " << this->ThresholdFunction << "\n";
  os << indent << "KeepUnlabelled: " << this->KeepUnlabelled << "\n";
  os << indent << "NumberOfSelections: " << this->NumberOfSelections << "\n";
  os << indent << "NumberOfPointUpdates: " << this->NumberOfPointUpdates << "\n";
}
