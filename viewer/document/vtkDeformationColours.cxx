#include "vtkDeformationColours.h"

#include "vtkShapeTransform.h"

#include <vtkColorTransferFunction.h>
#include <vtkDoubleArray.h>
#include <vtkFloatArray.h>
#include <vtkInformation.h>
#include <vtkInformationVector.h>
#include <vtkLookupTable.h>
#include <vtkMapper.h>
#include <vtkObjectFactory.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkWeakPointer.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <new>
#include <string>
#include <vector>

vtkStandardNewMacro(vtkDeformationColours);

namespace
{
constexpr double FoldColour[3] = { 0.05, 0.8, 0.05 };
// Points whose field is computed at once: bounds the memory of the field's derivative.
constexpr vtkIdType FieldChunk = 65536;

constexpr int TableSize = 256;

// A table of TableSize colours sampled from the function over [0, top], for the range
// [bottom, top]: a mapper looks each value up at once (a colour function would interpolate
// for every point at every step).
vtkSmartPointer<vtkLookupTable> Sampled(
  vtkColorTransferFunction* colours, double bottom, double top, bool folds)
{
  auto table = vtkSmartPointer<vtkLookupTable>::New();
  table->SetNumberOfTableValues(TableSize);
  for (int k = 0; k < TableSize; ++k)
  {
    double rgb[3];
    colours->GetColor(top * (k + 0.5) / TableSize, rgb);
    table->SetTableValue(k, rgb[0], rgb[1], rgb[2], 1.0);
  }
  table->SetTableRange(bottom, top);
  if (folds)
  {
    table->SetBelowRangeColor(FoldColour[0], FoldColour[1], FoldColour[2], 1.0);
    table->UseBelowRangeColorOn();
  }
  return table;
}

// A sequential map from dark blue-violet through teal to yellow, over [0, 1].
vtkSmartPointer<vtkLookupTable> DisplacementColours()
{
  static const double stops[5][4] = {
    { 0.00, 0.267, 0.005, 0.329 },
    { 0.25, 0.229, 0.322, 0.546 },
    { 0.50, 0.128, 0.567, 0.551 },
    { 0.75, 0.369, 0.789, 0.383 },
    { 1.00, 0.993, 0.906, 0.144 },
  };
  vtkNew<vtkColorTransferFunction> colours;
  for (const auto& s : stops)
  {
    colours->AddRGBPoint(s[0], s[1], s[2], s[3]);
  }
  return Sampled(colours, 0.0, 1.0, false);
}

// Blue below 1, light grey at 1, red above, up to 2; below bottom (0, or just above it) the
// fold colour.
vtkSmartPointer<vtkLookupTable> StretchColours(double bottom)
{
  vtkNew<vtkColorTransferFunction> colours;
  colours->SetColorSpaceToDiverging();
  colours->AddRGBPoint(0.0, 0.230, 0.299, 0.754);
  colours->AddRGBPoint(1.0, 0.865, 0.865, 0.865);
  colours->AddRGBPoint(2.0, 0.706, 0.016, 0.150);
  return Sampled(colours, bottom, 2.0, true);
}
}

// |d(x)| and the coefficients of det(I - t grad d(x)) for one set of points and one set of
// the transform's parameters.
struct vtkDeformationColours::Field
{
  vtkWeakPointer<vtkPoints> Points;
  vtkMTimeType PointsTime = 0;
  vtkIdType Count = -1;
  vtkWeakPointer<vtkShapeTransform> Transform;
  vtkMTimeType TransformTime = 0;
  std::vector<float> Reach;  // |d(x)|
  std::vector<double> Terms; // tr G, m2(G), det G: three a point
  double LargestReach = 0.0;
};

// The mapper's own colouring, put back for PLAIN.
struct vtkDeformationColours::MapperSettings
{
  vtkWeakPointer<vtkMapper> Mapper;
  vtkSmartPointer<vtkScalarsToColors> Table;
  vtkTypeBool ScalarVisibility = 0;
  int ScalarMode = 0;
  vtkTypeBool UseTableRange = 0;
  int AccessMode = 0;
  int ArrayId = -1;
  std::string ArrayName;
};

//------------------------------------------------------------------------------
vtkDeformationColours::vtkDeformationColours()
  : Kept(new Field)
{
  this->DisplacementTable = DisplacementColours();
  // The mapper's table starts just above 0, so that a determinant of exactly 0 is below its
  // range and takes the fold colour; the legend shows the same colours from 0.
  this->StretchTable = StretchColours(DBL_MIN);
  this->StretchLegend = StretchColours(0.0);
}

//------------------------------------------------------------------------------
vtkDeformationColours::~vtkDeformationColours() = default;

//------------------------------------------------------------------------------
void vtkDeformationColours::SetQuantity(int quantity)
{
  quantity = std::min<int>(std::max<int>(quantity, PLAIN), STRETCH);
  if (quantity != this->Quantity)
  {
    this->Quantity = quantity;
    this->Modified();
  }
}

//------------------------------------------------------------------------------
const char* vtkDeformationColours::GetQuantityName(int quantity)
{
  switch (quantity)
  {
    case DISPLACEMENT:
      return "Displacement";
    case STRETCH:
      return "Stretch";
    default:
      return "";
  }
}

//------------------------------------------------------------------------------
void vtkDeformationColours::SetDeformation(vtkShapeTransform* deformation)
{
  if (deformation != this->Deformation)
  {
    this->Deformation = deformation;
    this->Modified();
  }
}

//------------------------------------------------------------------------------
vtkShapeTransform* vtkDeformationColours::GetDeformation() const
{
  return this->Deformation;
}

//------------------------------------------------------------------------------
vtkMTimeType vtkDeformationColours::GetMTime()
{
  vtkMTimeType time = this->Superclass::GetMTime();
  if (this->Quantity != PLAIN && this->Deformation)
  {
    time = std::max(time, this->Deformation->GetMTime());
  }
  return time;
}

//------------------------------------------------------------------------------
vtkScalarsToColors* vtkDeformationColours::GetColours() const
{
  switch (this->Quantity)
  {
    case DISPLACEMENT:
      return this->DisplacementTable;
    case STRETCH:
      return this->StretchTable;
    default:
      return nullptr;
  }
}

//------------------------------------------------------------------------------
vtkScalarsToColors* vtkDeformationColours::GetLegendColours() const
{
  if (this->Quantity == STRETCH)
  {
    return this->StretchLegend;
  }
  return this->GetColours();
}

//------------------------------------------------------------------------------
void vtkDeformationColours::GetFoldColour(double rgb[3])
{
  std::copy_n(FoldColour, 3, rgb);
}

//------------------------------------------------------------------------------
void vtkDeformationColours::ColourMapper(vtkMapper* mapper)
{
  if (!mapper)
  {
    return;
  }
  MapperSettings* plain = this->Plain.get();
  if (this->Quantity == PLAIN)
  {
    if (plain && plain->Mapper == mapper)
    {
      mapper->SetLookupTable(plain->Table);
      mapper->SetScalarVisibility(plain->ScalarVisibility);
      mapper->SetScalarMode(plain->ScalarMode);
      mapper->SetUseLookupTableScalarRange(plain->UseTableRange);
      mapper->SetArrayAccessMode(plain->AccessMode);
      mapper->SetArrayId(plain->ArrayId);
      mapper->SetArrayName(plain->ArrayName.c_str());
      this->Plain.reset();
    }
    return;
  }
  if (!plain || plain->Mapper != mapper)
  {
    this->Plain.reset(new MapperSettings);
    plain = this->Plain.get();
    plain->Mapper = mapper;
    plain->Table = mapper->GetLookupTable();
    plain->ScalarVisibility = mapper->GetScalarVisibility();
    plain->ScalarMode = mapper->GetScalarMode();
    plain->UseTableRange = mapper->GetUseLookupTableScalarRange();
    plain->AccessMode = mapper->GetArrayAccessMode();
    plain->ArrayId = mapper->GetArrayId();
    plain->ArrayName = mapper->GetArrayName() ? mapper->GetArrayName() : "";
  }
  mapper->SetLookupTable(this->GetColours());
  mapper->UseLookupTableScalarRangeOn();
  mapper->SetScalarModeToUsePointFieldData();
  mapper->SelectColorArray(GetQuantityName(this->Quantity));
  mapper->ScalarVisibilityOn();
}

//------------------------------------------------------------------------------
bool vtkDeformationColours::KeepField(vtkPolyData* input)
{
  vtkPoints* points = input->GetPoints();
  vtkShapeTransform* transform = this->Deformation;
  const vtkIdType n = points ? points->GetNumberOfPoints() : 0;
  // The parameters' time, not the blend's: the field does not depend on the blend.
  const vtkMTimeType parameters = transform->vtkAbstractTransform::GetMTime();
  Field& f = *this->Kept;
  if (f.Points == points && f.PointsTime == (points ? points->GetMTime() : 0) && f.Count == n &&
    f.Transform == transform && f.TransformTime == parameters)
  {
    return true;
  }
  f.Count = -1;
  try
  {
    f.Reach.resize(static_cast<size_t>(n));
    f.Terms.resize(3 * static_cast<size_t>(n));
  }
  catch (const std::bad_alloc&)
  {
    f.Reach.clear();
    f.Terms.clear();
    vtkErrorMacro("Not enough memory to colour " << n << " points by the deformation.");
    return false;
  }
  ++this->NumberOfFieldEvaluations;
  vtkNew<vtkDoubleArray> chunk;
  chunk->SetNumberOfComponents(3);
  vtkNew<vtkDoubleArray> d;
  vtkNew<vtkDoubleArray> g;
  double largest = 0.0;
  for (vtkIdType begin = 0; begin < n; begin += FieldChunk)
  {
    const vtkIdType count = std::min(FieldChunk, n - begin);
    chunk->SetNumberOfTuples(count);
    for (vtkIdType i = 0; i < count; ++i)
    {
      chunk->SetTuple(i, points->GetPoint(begin + i));
    }
    transform->EvaluateDisplacementField(chunk, d, g);
    if (d->GetNumberOfTuples() != count || g->GetNumberOfTuples() != count)
    {
      vtkErrorMacro("The deformation could not be evaluated at the model's points.");
      return false;
    }
    for (vtkIdType i = 0; i < count; ++i)
    {
      const double* v = d->GetPointer(3 * i);
      const double* m = g->GetPointer(9 * i);
      const double reach = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
      f.Reach[begin + i] = static_cast<float>(reach);
      largest = std::max(largest, reach);
      double* terms = f.Terms.data() + 3 * (begin + i);
      terms[0] = m[0] + m[4] + m[8];
      terms[1] =
        (m[0] * m[4] - m[1] * m[3]) + (m[0] * m[8] - m[2] * m[6]) + (m[4] * m[8] - m[5] * m[7]);
      terms[2] = m[0] * (m[4] * m[8] - m[5] * m[7]) - m[1] * (m[3] * m[8] - m[5] * m[6]) +
        m[2] * (m[3] * m[7] - m[4] * m[6]);
    }
  }
  f.LargestReach = largest;
  f.Points = points;
  f.PointsTime = points ? points->GetMTime() : 0;
  f.Count = n;
  f.Transform = transform;
  f.TransformTime = parameters;
  return true;
}

//------------------------------------------------------------------------------
int vtkDeformationColours::RequestData(
  vtkInformation*, vtkInformationVector** inputVector, vtkInformationVector* outputVector)
{
  vtkPolyData* input = vtkPolyData::GetData(inputVector[0]);
  vtkPolyData* output = vtkPolyData::GetData(outputVector);
  output->ShallowCopy(input);
  const vtkIdType n = input->GetNumberOfPoints();
  this->NumberOfPoints = n;
  this->NumberOfFolds = 0;
  this->Blend = 0.0;
  if (this->Quantity == PLAIN)
  {
    return 1;
  }

  vtkShapeTransform* transform = this->Deformation;
  const bool deformed = transform && n > 0 && this->KeepField(input);
  if (deformed)
  {
    const float factor = transform->GetFactor();
    this->Blend = std::isfinite(factor) ? factor : 0.0;
  }
  auto values = vtkSmartPointer<vtkFloatArray>::New();
  values->SetName(GetQuantityName(this->Quantity));
  values->SetNumberOfTuples(n);
  float* out = values->GetPointer(0);
  const double t = this->Blend;
  const Field& f = *this->Kept;
  if (this->Quantity == DISPLACEMENT)
  {
    const double top = deformed && f.LargestReach > 0.0 ? f.LargestReach : 1.0;
    if (this->DisplacementTable->GetTableRange()[1] != top)
    {
      this->DisplacementTable->SetTableRange(0.0, top);
    }
    if (deformed)
    {
      const float* reach = f.Reach.data();
      const float scale = static_cast<float>(std::fabs(t));
      for (vtkIdType i = 0; i < n; ++i)
      {
        out[i] = scale * reach[i];
      }
    }
    else
    {
      std::fill_n(out, n, 0.0f);
    }
  }
  else if (deformed)
  {
    // det(I - t G) = 1 - t tr G + t^2 m2(G) - t^3 det G.
    const double* terms = f.Terms.data();
    vtkIdType folds = 0;
    for (vtkIdType i = 0; i < n; ++i)
    {
      const double* c = terms + 3 * i;
      const float det = static_cast<float>(1.0 + t * (-c[0] + t * (c[1] - t * c[2])));
      out[i] = det;
      folds += det <= 0.0f ? 1 : 0;
    }
    this->NumberOfFolds = folds;
  }
  else
  {
    std::fill_n(out, n, 1.0f);
  }
  output->GetPointData()->AddArray(values);
  return 1;
}

//------------------------------------------------------------------------------
void vtkDeformationColours::PrintSelf(ostream& os, vtkIndent indent)
{
  this->Superclass::PrintSelf(os, indent);
  os << indent << "Quantity: " << this->Quantity << "\n";
  os << indent << "Deformation: " << this->Deformation.GetPointer() << "\n";
  os << indent << "Blend: " << this->Blend << "\n";
  os << indent << "NumberOfFolds: " << this->NumberOfFolds << "\n";
  os << indent << "NumberOfPoints: " << this->NumberOfPoints << "\n";
  os << indent << "NumberOfFieldEvaluations: " << this->NumberOfFieldEvaluations << "\n";
}
