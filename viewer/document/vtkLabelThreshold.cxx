#include "vtkLabelThreshold.h"
#include "InputStamp.h"

#include "vtkCellArray.h"
#include "vtkCellArrayIterator.h"
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
  // Output point i copies input point Points[i].
  std::vector<vtkIdType> Points;
  vtkSmartPointer<vtkIdList> FromIds, ToIds;
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
  ++this->NumberOfSelections;
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

  // The same cells and labels with other point ids (the splitting at feature edges moved):
  // the kept cells and their data stay, only the points are chosen again.
  const Selection* last = this->Selected.get();
  if (last && last->InputPoints == s->InputPoints && last->Lower == s->Lower &&
    last->Upper == s->Upper && last->Function == s->Function &&
    last->KeepUnlabelled == s->KeepUnlabelled &&
    std::equal(last->Input.begin() + 4, last->Input.end(), s->Input.begin() + 4, s->Input.end()) &&
    std::equal(last->CellCounts, last->CellCounts + 4, s->CellCounts))
  {
    s->Keep = std::move(this->Selected->Keep);
    s->CellData = this->Selected->CellData;
  }
  else
  {
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
void vtkLabelThreshold::SelectPoints(vtkCellArray* inputCells[4], Selection& s)
{
  std::vector<vtkIdType> newId(s.InputPoints, -1);
  vtkIdType cellId = 0;
  for (int type = 0; type < 4; ++type)
  {
    std::vector<vtkIdType> offsets{ 0 };
    std::vector<vtkIdType> connectivity;
    if (inputCells[type])
    {
      auto it = vtk::TakeSmartPointer(inputCells[type]->NewIterator());
      for (it->GoToFirstCell(); !it->IsDoneWithTraversal(); it->GoToNextCell(), ++cellId)
      {
        if (!s.Keep[cellId])
        {
          continue;
        }
        vtkIdType n;
        const vtkIdType* pts;
        it->GetCurrentCell(n, pts);
        for (vtkIdType j = 0; j < n; ++j)
        {
          vtkIdType& id = newId[pts[j]];
          if (id < 0)
          {
            id = static_cast<vtkIdType>(s.Points.size());
            s.Points.push_back(pts[j]);
          }
          connectivity.push_back(id);
        }
        offsets.push_back(static_cast<vtkIdType>(connectivity.size()));
      }
    }
    auto offsetArray = vtkSmartPointer<vtkIdTypeArray>::New();
    offsetArray->SetNumberOfTuples(static_cast<vtkIdType>(offsets.size()));
    std::copy(offsets.begin(), offsets.end(), offsetArray->GetPointer(0));
    auto idArray = vtkSmartPointer<vtkIdTypeArray>::New();
    idArray->SetNumberOfTuples(static_cast<vtkIdType>(connectivity.size()));
    std::copy(connectivity.begin(), connectivity.end(), idArray->GetPointer(0));
    s.Cells[type] = vtkSmartPointer<vtkCellArray>::New();
    s.Cells[type]->SetData(offsetArray, idArray);
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
  const Selection* s = this->Selected.get();
  if (!s || s->InputPoints != input->GetNumberOfPoints() || s->Lower != this->LowerThreshold ||
    s->Upper != this->UpperThreshold || s->Function != this->ThresholdFunction ||
    s->KeepUnlabelled != this->KeepUnlabelled || s->Input != CellStamps(input))
  {
    this->Select(input);
    s = this->Selected.get();
  }

  output->Initialize();
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

  output->GetCellData()->ShallowCopy(s->CellData);
  output->SetVerts(s->Cells[0]);
  output->SetLines(s->Cells[1]);
  output->SetPolys(s->Cells[2]);
  output->SetStrips(s->Cells[3]);
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
}
