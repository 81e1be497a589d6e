// The display pipeline's filters that keep the cell work between animation steps give what
// VTK's own vtkPolyDataNormals and vtkThreshold give, step after step, and redo the cell work
// exactly when it would change.
#include "DisplayModels.h"
#include "FeatureSplitting.h"
#include "LocalOrder.h"
#include "RealMeshes.h"
#include "RewrittenIds.h"
#include "vtkCachedPolyDataNormals.h"
#include "vtkLabelThreshold.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <numeric>
#include <random>

#include <vtkFloatArray.h>

#include <vtkIdList.h>
#include <vtkIdTypeArray.h>
#include <vtkPlaneSource.h>
#include <vtkPointData.h>
#include <vtkPolyDataNormals.h>
#include <vtkTextureMapToCylinder.h>
#include <vtkThreshold.h>
#include <vtkUnstructuredGrid.h>

#include <cmath>
#include <functional>
#include <limits>
#include <vector>

namespace
{
using Deformation = std::function<void(double p[3])>;

// The model's points moved by a deformation, as a new points object (as the transform
// filter makes one per step); the cells stay the model's.
void Deform(vtkPolyData* shown, vtkPolyData* model, const Deformation& move)
{
  vtkNew<vtkPoints> points;
  points->SetDataType(model->GetPoints()->GetDataType());
  points->SetNumberOfPoints(model->GetNumberOfPoints());
  for (vtkIdType i = 0; i < model->GetNumberOfPoints(); ++i)
  {
    double p[3];
    model->GetPoint(i, p);
    move(p);
    points->SetPoint(i, p);
  }
  shown->SetPoints(points);
}

// A copy of a real mesh, labelled as the sample is when asked, with a point no cell uses
// added when asked.
vtkSmartPointer<vtkPolyData> MeshVariant(vtkPolyData* mesh, bool labelled, bool strayPoint)
{
  auto model = vtkSmartPointer<vtkPolyData>::New();
  model->DeepCopy(mesh);
  if (labelled)
  {
    realmeshes::Label(model);
  }
  if (strayPoint)
  {
    model->GetPoints()->InsertNextPoint(0.2, 0.1, -0.3);
  }
  return model;
}

Deformation Bend(double amount)
{
  return [amount](double p[3])
  {
    p[1] += amount * std::sin(3 * p[0]);
    p[2] += amount * p[0] * p[0];
  };
}

// Twisted about the x axis by up to 1.2 radians from x = -0.52 on and bent sideways, in
// proportion to the blend.
Deformation TwistAndBend(double blend)
{
  return [blend](double p[3])
  {
    const double angle = 1.2 * blend * (p[0] + 0.52);
    const double y = p[1];
    const double z = p[2] + 0.27;
    p[1] = std::cos(angle) * y - std::sin(angle) * z + 0.15 * blend * std::sin(4 * p[0]);
    p[2] = std::sin(angle) * y + std::cos(angle) * z - 0.27;
  };
}

// Same cells (in order), same points, normals equal up to the rounding of their last bit.
void ExpectSameNormals(vtkPolyData* ours, vtkPolyData* vtks)
{
  ASSERT_EQ(ours->GetNumberOfPoints(), vtks->GetNumberOfPoints());
  ASSERT_EQ(ours->GetNumberOfPolys(), vtks->GetNumberOfPolys());
  vtkNew<vtkIdList> a, b;
  for (vtkIdType c = 0; c < ours->GetNumberOfPolys(); ++c)
  {
    ours->GetPolys()->GetCellAtId(c, a);
    vtks->GetPolys()->GetCellAtId(c, b);
    ASSERT_EQ(a->GetNumberOfIds(), b->GetNumberOfIds()) << "cell " << c;
    for (vtkIdType k = 0; k < a->GetNumberOfIds(); ++k)
    {
      ASSERT_EQ(a->GetId(k), b->GetId(k)) << "cell " << c;
    }
  }
  double worst = 0;
  vtkDataArray* na = ours->GetPointData()->GetNormals();
  vtkDataArray* nb = vtks->GetPointData()->GetNormals();
  ASSERT_TRUE(na && nb);
  for (vtkIdType i = 0; i < ours->GetNumberOfPoints(); ++i)
  {
    for (int k = 0; k < 3; ++k)
    {
      ASSERT_EQ(ours->GetPoint(i)[k], vtks->GetPoint(i)[k]) << "point " << i;
      worst = std::max(worst, std::fabs(na->GetComponent(i, k) - nb->GetComponent(i, k)));
    }
  }
  EXPECT_LE(worst, 2.5e-7);
}

// The same cells in the same order, each with the same corner points (coordinates and
// normals), the same cell labels, and as many points (every one used by some cell).
void ExpectSameKept(vtkPolyData* a, vtkUnstructuredGrid* b)
{
  ASSERT_EQ(a->GetNumberOfCells(), b->GetNumberOfCells());
  ASSERT_EQ(a->GetNumberOfPoints(), b->GetNumberOfPoints());
  vtkDataArray* na = a->GetPointData()->GetNormals();
  vtkDataArray* nb = b->GetPointData()->GetNormals();
  ASSERT_EQ(na == nullptr, nb == nullptr);
  vtkDataArray* la = a->GetCellData()->GetScalars();
  vtkDataArray* lb = b->GetCellData()->GetScalars();
  ASSERT_EQ(la == nullptr, lb == nullptr);
  vtkNew<vtkIdList> pa, pb;
  for (vtkIdType cell = 0; cell < a->GetNumberOfCells(); ++cell)
  {
    a->GetCellPoints(cell, pa);
    b->GetCellPoints(cell, pb);
    ASSERT_EQ(pa->GetNumberOfIds(), pb->GetNumberOfIds()) << "cell " << cell;
    for (vtkIdType k = 0; k < pa->GetNumberOfIds(); ++k)
    {
      ASSERT_GE(pa->GetId(k), 0);
      ASSERT_LT(pa->GetId(k), a->GetNumberOfPoints());
      for (int axis = 0; axis < 3; ++axis)
      {
        ASSERT_EQ(a->GetPoint(pa->GetId(k))[axis], b->GetPoint(pb->GetId(k))[axis])
          << "cell " << cell;
        if (na)
        {
          ASSERT_EQ(na->GetComponent(pa->GetId(k), axis), nb->GetComponent(pb->GetId(k), axis))
            << "cell " << cell;
        }
      }
    }
    if (la)
    {
      ASSERT_EQ(la->GetComponent(cell, 0), lb->GetComponent(cell, 0)) << "cell " << cell;
    }
  }
}

// Exactly what another threshold gives: the same point ids in every cell, the same points
// and point data, the same cell labels.
void ExpectSameOutput(vtkPolyData* ours, vtkPolyData* fresh)
{
  ASSERT_EQ(ours->GetNumberOfPoints(), fresh->GetNumberOfPoints());
  ASSERT_EQ(ours->GetNumberOfPolys(), fresh->GetNumberOfPolys());
  ASSERT_EQ(ours->GetNumberOfCells(), fresh->GetNumberOfCells());
  vtkNew<vtkIdList> a, b;
  for (vtkIdType c = 0; c < ours->GetNumberOfPolys(); ++c)
  {
    ours->GetPolys()->GetCellAtId(c, a);
    fresh->GetPolys()->GetCellAtId(c, b);
    ASSERT_EQ(a->GetNumberOfIds(), b->GetNumberOfIds()) << "cell " << c;
    for (vtkIdType k = 0; k < a->GetNumberOfIds(); ++k)
    {
      ASSERT_EQ(a->GetId(k), b->GetId(k)) << "cell " << c << ", corner " << k;
    }
  }
  for (vtkIdType i = 0; i < ours->GetNumberOfPoints(); ++i)
  {
    for (int k = 0; k < 3; ++k)
    {
      ASSERT_EQ(ours->GetPoint(i)[k], fresh->GetPoint(i)[k]) << "point " << i;
    }
  }
  vtkPointData* pa = ours->GetPointData();
  vtkPointData* pb = fresh->GetPointData();
  ASSERT_EQ(pa->GetNumberOfArrays(), pb->GetNumberOfArrays());
  for (int n = 0; n < pa->GetNumberOfArrays(); ++n)
  {
    vtkDataArray* x = pa->GetArray(n);
    vtkDataArray* y = pb->GetArray(x->GetName());
    ASSERT_TRUE(y) << x->GetName();
    ASSERT_EQ(x->GetNumberOfComponents(), y->GetNumberOfComponents());
    ASSERT_EQ(x->GetNumberOfTuples(), y->GetNumberOfTuples());
    for (vtkIdType i = 0; i < x->GetNumberOfTuples(); ++i)
    {
      for (int k = 0; k < x->GetNumberOfComponents(); ++k)
      {
        ASSERT_EQ(x->GetComponent(i, k), y->GetComponent(i, k)) << x->GetName() << " " << i;
      }
    }
  }
  vtkDataArray* la = ours->GetCellData()->GetScalars();
  vtkDataArray* lb = fresh->GetCellData()->GetScalars();
  ASSERT_EQ(la == nullptr, lb == nullptr);
  for (vtkIdType c = 0; la && c < la->GetNumberOfTuples(); ++c)
  {
    ASSERT_EQ(la->GetComponent(c, 0), lb->GetComponent(c, 0)) << "cell " << c;
  }
}

// A threshold made now, with the settings of another, on the same data.
vtkSmartPointer<vtkLabelThreshold> FreshCopy(vtkLabelThreshold* of, vtkPolyData* input)
{
  auto fresh = vtkSmartPointer<vtkLabelThreshold>::New();
  fresh->SetThresholdFunction(of->GetThresholdFunction());
  fresh->SetLowerThreshold(of->GetLowerThreshold());
  fresh->SetUpperThreshold(of->GetUpperThreshold());
  fresh->SetKeepUnlabelled(of->GetKeepUnlabelled());
  fresh->SetInputData(input);
  fresh->Update();
  return fresh;
}

struct ModelCase
{
  const char* Name;
  std::function<vtkSmartPointer<vtkPolyData>()> Make;
};

// The model's points held as doubles.
vtkSmartPointer<vtkPolyData> InDoublePrecision(vtkSmartPointer<vtkPolyData> model)
{
  vtkNew<vtkPoints> points;
  points->SetDataTypeToDouble();
  points->DeepCopy(model->GetPoints());
  model->SetPoints(points);
  return model;
}

// The model with its points and cells listed in a shuffled order, as a scan may list them.
vtkSmartPointer<vtkPolyData> Shuffled(vtkSmartPointer<vtkPolyData> model)
{
  const vtkIdType n = model->GetNumberOfPoints();
  std::vector<vtkIdType> newId(n);
  std::iota(newId.begin(), newId.end(), vtkIdType(0));
  std::mt19937 random(11);
  std::shuffle(newId.begin(), newId.end(), random);
  vtkNew<vtkPoints> points;
  points->SetDataType(model->GetPoints()->GetDataType());
  points->SetNumberOfPoints(n);
  for (vtkIdType i = 0; i < n; ++i)
  {
    points->SetPoint(newId[i], model->GetPoint(i));
  }
  std::vector<vtkIdType> cellOrder(model->GetNumberOfCells());
  std::iota(cellOrder.begin(), cellOrder.end(), vtkIdType(0));
  std::shuffle(cellOrder.begin(), cellOrder.end(), random);
  vtkNew<vtkCellArray> cells;
  vtkNew<vtkIdList> ids;
  for (vtkIdType c : cellOrder)
  {
    model->GetCellPoints(c, ids);
    for (vtkIdType j = 0; j < ids->GetNumberOfIds(); ++j)
    {
      ids->SetId(j, newId[ids->GetId(j)]);
    }
    cells->InsertNextCell(ids);
  }
  auto shuffled = vtkSmartPointer<vtkPolyData>::New();
  shuffled->SetPoints(points);
  shuffled->SetPolys(cells);
  return shuffled;
}

// A sheet of quadrilaterals along the leg.
vtkSmartPointer<vtkPolyData> QuadSheet()
{
  vtkNew<vtkPlaneSource> plane;
  plane->SetOrigin(-0.5, -0.12, -0.2);
  plane->SetPoint1(0.9, -0.12, -0.2);
  plane->SetPoint2(-0.5, 0.12, -0.1);
  plane->SetResolution(40, 9);
  plane->Update();
  auto sheet = vtkSmartPointer<vtkPolyData>::New();
  sheet->SetPoints(plane->GetOutput()->GetPoints());
  sheet->SetPolys(plane->GetOutput()->GetPolys());
  return sheet;
}

const ModelCase Models[] = {
  { "sample leg",
    [] { return displaymodels::Read(std::string(QUORVEL_TEST_DATA_DIR) + "/leg.vtk"); } },
  { "creased sheet", [] { return displaymodels::CreasedSheet(); } },
  { "misoriented tube", [] { return displaymodels::MisorientedTube(); } },
  { "misoriented tube, shuffled", [] { return Shuffled(displaymodels::MisorientedTube()); } },
  { "misoriented tube, shuffled, double precision",
    [] { return InDoublePrecision(Shuffled(displaymodels::MisorientedTube())); } },
  { "sheet of quadrilaterals", [] { return QuadSheet(); } },
  { "sheet of quadrilaterals, shuffled", [] { return Shuffled(QuadSheet()); } },
};
}

TEST(DisplayFilters, NormalsEqualVtkPolyDataNormalsAtEveryStepWithOneCellPass)
{
  for (const ModelCase& m : Models)
  {
    SCOPED_TRACE(m.Name);
    vtkSmartPointer<vtkPolyData> model = m.Make();
    vtkNew<vtkPolyData> shown;
    shown->ShallowCopy(model);
    vtkNew<vtkCachedPolyDataNormals> ours;
    vtkNew<vtkPolyDataNormals> vtks;
    ours->SetInputData(shown);
    vtks->SetInputData(shown);
    for (double amount : { 0.0, 0.02, 0.04, 0.02, 0.0 })
    {
      SCOPED_TRACE(amount);
      Deform(shown, model, Bend(amount));
      ours->Update();
      vtks->Update();
      ExpectSameNormals(ours->GetOutput(), vtks->GetOutput());
    }
    EXPECT_EQ(ours->GetNumberOfFullExecutions(), 1);
  }
}

// A scanned mesh lists its points in no useful order: ranked, the points of each cell lie
// near one another, every point and cell is ranked once, and the cells follow their lowest
// point rank. Far from the origin and tiny, or with a point at no finite place, alike.
TEST(DisplayFilters, LocalOrderRanksNeighboursNearOneAnother)
{
  struct Case
  {
    const char* Name;
    double Offset, Scale;
    bool NotFinite;
  };
  for (const Case& k : { Case{ "unit grid", 0, 1, false }, Case{ "far and tiny", 1e5, 1e-4, false },
         Case{ "a point at no finite place", 0, 1, true } })
  {
    SCOPED_TRACE(k.Name);
    const int rows = 60, columns = 40, n = rows * columns;
    std::vector<std::uint32_t> shuffled(n);
    std::iota(shuffled.begin(), shuffled.end(), 0u);
    std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(7));
    std::vector<double> xyz(3 * n);
    for (int i = 0; i < n; ++i)
    {
      const int r = i / columns, c = i % columns;
      double* x = xyz.data() + 3 * shuffled[i];
      x[0] = k.Offset + k.Scale * (r + 0.3 * std::sin(c)); // unevenly spaced
      x[1] = k.Offset + k.Scale * c * c * 0.05;
      x[2] = k.Scale * 0.1 * std::cos(r);
    }
    if (k.NotFinite)
    {
      xyz[3 * shuffled[n / 2]] = std::numeric_limits<double>::quiet_NaN();
    }
    FlatCells cells;
    for (int r = 0; r + 1 < rows; ++r)
    {
      for (int c = 0; c + 1 < columns; ++c)
      {
        const int a = r * columns + c;
        for (int t : { a, a + 1, a + columns + 1, a, a + columns + 1, a + columns })
        {
          cells.Connectivity.push_back(shuffled[t]);
        }
        cells.Offsets.push_back(static_cast<vtkIdType>(cells.Connectivity.size()) - 3);
        cells.Offsets.push_back(static_cast<vtkIdType>(cells.Connectivity.size()));
      }
    }
    LocalOrder order;
    EXPECT_TRUE(LocalOrder::Scattered(cells));
    ASSERT_TRUE(order.Make(xyz.data(), n, cells));

    // Every point and cell once; CellRank undoes CellOrder.
    std::vector<std::uint32_t> sorted = order.PointOrder;
    std::sort(sorted.begin(), sorted.end());
    std::vector<std::uint32_t> all(n);
    std::iota(all.begin(), all.end(), 0u);
    ASSERT_EQ(sorted, all);
    ASSERT_EQ(order.CellOrder.size(), static_cast<size_t>(cells.Size()));
    std::vector<std::uint32_t> rankOf(n);
    for (int r = 0; r < n; ++r)
    {
      rankOf[order.PointOrder[r]] = static_cast<std::uint32_t>(r);
    }
    std::uint32_t lastLowest = 0, lastCell = 0;
    // Cells whose points lie within 64 ranks (or ids) of one another: read together.
    int near = 0, nearBefore = 0;
    for (size_t r = 0; r < order.CellOrder.size(); ++r)
    {
      const std::uint32_t cell = order.CellOrder[r];
      ASSERT_EQ(order.CellRank[cell], r);
      std::uint32_t low = n, high = 0, lowBefore = n, highBefore = 0;
      for (vtkIdType j = cells.Offsets[cell]; j < cells.Offsets[cell + 1]; ++j)
      {
        const auto p = static_cast<std::uint32_t>(cells.Connectivity[j]);
        low = std::min(low, rankOf[p]);
        high = std::max(high, rankOf[p]);
        lowBefore = std::min(lowBefore, p);
        highBefore = std::max(highBefore, p);
      }
      ASSERT_TRUE(r == 0 || low > lastLowest || (low == lastLowest && cell > lastCell)) << r;
      lastLowest = low;
      lastCell = cell;
      near += high - low < 64;
      nearBefore += highBefore - lowBefore < 64;
    }
    EXPECT_GT(near, 0.8 * cells.Size()) << "before: " << nearBefore;

    // Listed row by row, the grid is not scattered; nor when every tenth cell jumps away.
    FlatCells listed = cells;
    for (vtkIdType& id : listed.Connectivity)
    {
      id = std::find(shuffled.begin(), shuffled.end(), id) - shuffled.begin();
    }
    EXPECT_FALSE(LocalOrder::Scattered(listed));
    for (vtkIdType cell = 0; cell < listed.Size(); cell += 10)
    {
      for (vtkIdType j = listed.Offsets[cell]; j < listed.Offsets[cell + 1]; ++j)
      {
        listed.Connectivity[j] = shuffled[listed.Connectivity[j]];
      }
    }
    EXPECT_FALSE(LocalOrder::Scattered(listed));
  }

  // What cannot be ranked is refused: no points, a cell naming a point beyond them.
  FlatCells outside;
  outside.Connectivity = { 0, 1, 3 };
  outside.Offsets.push_back(3);
  const float three[9] = { 0, 0, 0, 1, 0, 0, 0, 1, 0 };
  LocalOrder order;
  EXPECT_FALSE(order.Make(three, 3, outside));
  EXPECT_TRUE(order.PointOrder.empty() && order.CellOrder.empty());
  EXPECT_FALSE(order.Make(three, 0, FlatCells()));
}

TEST(DisplayFilters, NormalsRedoTheSplittingWhenAnEdgeCrossesTheFeatureAngle)
{
  vtkSmartPointer<vtkPolyData> sheet = displaymodels::CreasedSheet();
  vtkNew<vtkPolyData> shown;
  shown->ShallowCopy(sheet);
  vtkNew<vtkCachedPolyDataNormals> ours;
  vtkNew<vtkPolyDataNormals> vtks;
  ours->SetInputData(shown);
  vtks->SetInputData(shown);
  const vtkIdType unsplit = sheet->GetNumberOfPoints();
  // The crease flattened from 40 to about 20 degrees and folded again: joined, then split.
  // The splitting moves where the crease crossed; the cells are read once.
  struct Step
  {
    double Squash;
    bool Split;
    int SplittingUpdates;
  };
  for (const Step& s :
    { Step{ 1.0, true, 0 }, Step{ 0.5, false, 1 }, Step{ 0.6, false, 1 }, Step{ 1.0, true, 2 } })
  {
    SCOPED_TRACE(s.Squash);
    Deform(shown, sheet, [&](double p[3]) { p[2] = -0.2 + s.Squash * (p[2] + 0.2); });
    ours->Update();
    vtks->Update();
    ExpectSameNormals(ours->GetOutput(), vtks->GetOutput());
    EXPECT_EQ(ours->GetOutput()->GetNumberOfPoints() > unsplit, s.Split);
    EXPECT_EQ(ours->GetNumberOfSplittingUpdates(), s.SplittingUpdates);
    EXPECT_EQ(ours->GetNumberOfFullExecutions(), 1);
  }
  // Other cells: the work is done again.
  vtkSmartPointer<vtkPolyData> tube = displaymodels::MisorientedTube();
  shown->ShallowCopy(tube);
  ours->Update();
  vtks->Update();
  ExpectSameNormals(ours->GetOutput(), vtks->GetOutput());
  EXPECT_EQ(ours->GetNumberOfFullExecutions(), 2);
}

// Scanned and modelled meshes, twisted and bent step by step as an animation blends in and
// out: at every step edges somewhere cross the feature angle, and the splitting, the point
// correspondence and the normals stay vtkPolyDataNormals' own without redoing the cells.
TEST(DisplayFilters, NormalsOnRealMeshesFollowVtkPolyDataNormalsAsEdgesCrossTheFeatureAngle)
{
  int tried = 0;
  for (const std::string& name : realmeshes::Names())
  {
    vtkSmartPointer<vtkPolyData> mesh = realmeshes::ReadOff(realmeshes::Path(name));
    if (!mesh)
    {
      continue;
    }
    ++tried;
    SCOPED_TRACE(name);
    realmeshes::PlaceLikeTheSample(mesh);
    // Point data to carry through the splitting.
    vtkNew<vtkFloatArray> height;
    height->SetName("height");
    height->SetNumberOfTuples(mesh->GetNumberOfPoints());
    for (vtkIdType i = 0; i < mesh->GetNumberOfPoints(); ++i)
    {
      height->SetValue(i, static_cast<float>(mesh->GetPoint(i)[2]));
    }
    mesh->GetPointData()->AddArray(height);
    vtkNew<vtkPolyData> shown;
    shown->ShallowCopy(mesh);
    vtkNew<vtkCachedPolyDataNormals> ours;
    vtkNew<vtkPolyDataNormals> vtks;
    ours->SetInputData(shown);
    vtks->SetInputData(shown);
    vtkIdType fewest = std::numeric_limits<vtkIdType>::max(), most = 0;
    for (double blend : { 0.0, 0.08, 0.16, 0.24, 0.48, 0.72, 0.96, 0.88, 0.6, 0.32, 0.04, 0.0 })
    {
      SCOPED_TRACE(blend);
      Deform(shown, mesh, TwistAndBend(blend));
      ours->Update();
      vtks->Update();
      ExpectSameNormals(ours->GetOutput(), vtks->GetOutput());
      vtkDataArray* carried = ours->GetOutput()->GetPointData()->GetArray("height");
      vtkDataArray* expected = vtks->GetOutput()->GetPointData()->GetArray("height");
      ASSERT_TRUE(carried && expected);
      for (vtkIdType i = 0; i < carried->GetNumberOfTuples(); ++i)
      {
        ASSERT_EQ(carried->GetComponent(i, 0), expected->GetComponent(i, 0)) << "point " << i;
      }
      fewest = std::min(fewest, ours->GetOutput()->GetNumberOfPoints());
      most = std::max(most, ours->GetOutput()->GetNumberOfPoints());
    }
    EXPECT_EQ(ours->GetNumberOfFullExecutions(), 1);
    EXPECT_GE(ours->GetNumberOfSplittingUpdates(), 8);
    EXPECT_LT(fewest, most) << "the number of split points never changed";
  }
  if (tried == 0)
  {
    GTEST_SKIP() << "no real meshes in " << realmeshes::Folder()
                 << ": run scripts/real-meshes.sh (downloads Debian's libcgal-demo)";
  }
}

TEST(DisplayFilters, LabelThresholdKeepsWhatVtkThresholdKeepsAndSelectsOnce)
{
  vtkSmartPointer<vtkPolyData> model =
    displaymodels::Read(std::string(QUORVEL_TEST_DATA_DIR) + "/leg.vtk");
  vtkNew<vtkPolyData> shown;
  shown->ShallowCopy(model);
  // Point data to carry along, and cells that stay the same objects from step to step.
  vtkNew<vtkCachedPolyDataNormals> normals;
  normals->SetInputData(shown);

  struct Criterion
  {
    int Function;
    double Lower, Upper;
  };
  for (const Criterion& c : { Criterion{ vtkThreshold::THRESHOLD_LOWER, 0.0, 0.0 },
         Criterion{ vtkThreshold::THRESHOLD_UPPER, 1.0, 1.0 },
         Criterion{ vtkThreshold::THRESHOLD_BETWEEN, 0.5, 2.0 } })
  {
    SCOPED_TRACE(c.Function);
    vtkNew<vtkLabelThreshold> ours;
    ours->SetInputConnection(normals->GetOutputPort());
    ours->SetThresholdFunction(c.Function);
    ours->SetLowerThreshold(c.Lower);
    ours->SetUpperThreshold(c.Upper);
    vtkNew<vtkThreshold> vtks;
    vtks->SetInputConnection(normals->GetOutputPort());
    vtks->SetThresholdFunction(c.Function);
    vtks->SetLowerThreshold(c.Lower);
    vtks->SetUpperThreshold(c.Upper);
    vtks->SetInputArrayToProcess(
      0, 0, 0, vtkDataObject::FIELD_ASSOCIATION_CELLS, vtkDataSetAttributes::SCALARS);
    for (double amount : { 0.0, 0.03 })
    {
      Deform(shown, model, Bend(amount));
      ours->Update();
      vtks->Update();
      ASSERT_GT(ours->GetOutput()->GetNumberOfCells(), 0);
      ExpectSameKept(ours->GetOutput(), vtks->GetOutput());
    }
    EXPECT_EQ(ours->GetNumberOfSelections(), 1);
  }
}

TEST(DisplayFilters, LabelThresholdSelectsAgainWhenLabelsChangeAndHandlesUnlabelledModels)
{
  vtkSmartPointer<vtkPolyData> model = displaymodels::CreasedSheet();
  vtkNew<vtkLabelThreshold> body;
  body->SetInputData(model);
  body->SetUpperThreshold(1.0);
  body->SetThresholdFunction(vtkLabelThreshold::THRESHOLD_UPPER);
  body->Update();
  const vtkIdType labelled = body->GetOutput()->GetNumberOfCells();
  ASSERT_GT(labelled, 0);
  ASSERT_LT(labelled, model->GetNumberOfCells());

  // Relabelled: one more body cell, one not a number (kept by no criterion).
  vtkDataArray* labels = model->GetCellData()->GetScalars();
  vtkIdType textured = 0;
  while (labels->GetComponent(textured, 0) != 0.0)
  {
    ++textured;
  }
  labels->SetComponent(textured, 0, 1.0);
  labels->SetComponent(0, 0, std::numeric_limits<double>::quiet_NaN());
  labels->Modified();
  body->Update();
  EXPECT_EQ(body->GetOutput()->GetNumberOfCells(), labelled);
  EXPECT_EQ(body->GetNumberOfSelections(), 2);

  // Without cell scalars (none, or point scalars only) the body keeps all, the rest nothing.
  model->GetCellData()->RemoveArray("region");
  vtkNew<vtkFloatArray> pointLabels;
  pointLabels->SetNumberOfTuples(model->GetNumberOfPoints());
  pointLabels->FillValue(0.0f);
  model->GetPointData()->SetScalars(pointLabels);
  body->KeepUnlabelledOn();
  body->Update();
  EXPECT_EQ(body->GetOutput()->GetNumberOfCells(), model->GetNumberOfCells());
  EXPECT_EQ(body->GetOutput()->GetNumberOfPoints(), model->GetNumberOfPoints());
  body->KeepUnlabelledOff();
  body->Update();
  EXPECT_EQ(body->GetOutput()->GetNumberOfCells(), 0);
}

// On real meshes, labelled and not, as an animation moves the splitting at feature edges
// (cells take other point ids, the number of points changes), the thresholds keep what
// vtkThreshold keeps without choosing their cells again; also with cells stored in 32 bits
// and with a point no cell uses.
TEST(DisplayFilters, LabelThresholdFollowsVtkThresholdAsTheSplittingMovesOnRealMeshes)
{
  struct Case
  {
    const char* What;
    bool Labelled;
    bool Storage32;
    bool StrayPoint;
  };
  const Case cases[] = {
    { "unlabelled", false, false, false },
    { "labelled", true, false, false },
    { "labelled, 32-bit cells", true, true, false },
    { "unlabelled, a point no cell uses", false, false, true },
  };
  struct Criterion
  {
    int Function;
    double Lower, Upper;
  };
  const Criterion criteria[] = { { vtkThreshold::THRESHOLD_LOWER, 0.0, 0.0 },
    { vtkThreshold::THRESHOLD_UPPER, 1.0, 1.0 } };
  int tried = 0;
  for (const std::string& name : realmeshes::Names())
  {
    vtkSmartPointer<vtkPolyData> mesh = realmeshes::ReadOff(realmeshes::Path(name));
    if (!mesh)
    {
      continue;
    }
    ++tried;
    realmeshes::PlaceLikeTheSample(mesh);
    for (const Case& c : cases)
    {
      SCOPED_TRACE(name + ", " + c.What);
      vtkSmartPointer<vtkPolyData> model = MeshVariant(mesh, c.Labelled, c.StrayPoint);
      if (c.Storage32)
      {
        // The normals hand on cells of their own; the thresholds read these directly.
        ASSERT_TRUE(model->GetPolys()->ConvertTo32BitStorage());
        for (const Criterion& t : criteria)
        {
          vtkNew<vtkLabelThreshold> direct;
          direct->SetInputData(model);
          direct->SetThresholdFunction(t.Function);
          direct->SetLowerThreshold(t.Lower);
          direct->SetUpperThreshold(t.Upper);
          vtkNew<vtkThreshold> expected;
          expected->SetInputData(model);
          expected->SetThresholdFunction(t.Function);
          expected->SetLowerThreshold(t.Lower);
          expected->SetUpperThreshold(t.Upper);
          expected->SetInputArrayToProcess(
            0, 0, 0, vtkDataObject::FIELD_ASSOCIATION_CELLS, vtkDataSetAttributes::SCALARS);
          direct->Update();
          expected->Update();
          ExpectSameKept(direct->GetOutput(), expected->GetOutput());
        }
      }
      vtkNew<vtkPolyData> shown;
      shown->ShallowCopy(model);
      vtkNew<vtkCachedPolyDataNormals> normals;
      normals->SetInputData(shown);
      vtkNew<vtkLabelThreshold> ours[2];
      vtkNew<vtkThreshold> vtks[2];
      for (int k = 0; k < 2; ++k)
      {
        ours[k]->SetInputConnection(normals->GetOutputPort());
        ours[k]->SetThresholdFunction(criteria[k].Function);
        ours[k]->SetLowerThreshold(criteria[k].Lower);
        ours[k]->SetUpperThreshold(criteria[k].Upper);
        ours[k]->SetKeepUnlabelled(k == 1);
        vtks[k]->SetInputConnection(normals->GetOutputPort());
        vtks[k]->SetThresholdFunction(criteria[k].Function);
        vtks[k]->SetLowerThreshold(criteria[k].Lower);
        vtks[k]->SetUpperThreshold(criteria[k].Upper);
        vtks[k]->SetInputArrayToProcess(
          0, 0, 0, vtkDataObject::FIELD_ASSOCIATION_CELLS, vtkDataSetAttributes::SCALARS);
      }
      vtkIdType fewest = std::numeric_limits<vtkIdType>::max(), most = 0;
      for (double blend : { 0.0, 0.24, 0.48, 0.96, 0.6, 0.04 })
      {
        SCOPED_TRACE(blend);
        Deform(shown, model, TwistAndBend(blend));
        for (int k = 0; k < 2; ++k)
        {
          SCOPED_TRACE(k);
          ours[k]->Update();
          if (!c.Labelled && k == 0)
          {
            // Without labels the textured part is empty; vtkThreshold, finding no cell
            // scalars, keeps nothing either.
            EXPECT_EQ(ours[k]->GetOutput()->GetNumberOfCells(), 0);
            continue;
          }
          if (!c.Labelled)
          {
            // Everything is kept: the model's cells, the points they use.
            ASSERT_EQ(ours[k]->GetOutput()->GetNumberOfCells(), model->GetNumberOfCells());
            EXPECT_EQ(ours[k]->GetOutput()->GetNumberOfPoints(),
              normals->GetOutput()->GetNumberOfPoints() - (c.StrayPoint ? 1 : 0));
            continue;
          }
          vtks[k]->Update();
          ExpectSameKept(ours[k]->GetOutput(), vtks[k]->GetOutput());
        }
        fewest = std::min(fewest, normals->GetOutput()->GetNumberOfPoints());
        most = std::max(most, normals->GetOutput()->GetNumberOfPoints());
      }
      EXPECT_LT(fewest, most) << "the number of split points never changed";
      for (int k = 0; k < 2; ++k)
      {
        EXPECT_EQ(ours[k]->GetNumberOfSelections(), 1) << k;
      }
    }
  }
  if (tried == 0)
  {
    GTEST_SKIP() << "no real meshes in " << realmeshes::Folder()
                 << ": run scripts/real-meshes.sh (downloads Debian's libcgal-demo)";
  }
}

// Real meshes with the sample's labels and without, animated through many small steps and a few
// jumps as the display pipeline runs them (normals, texture coordinates, both thresholds): the
// thresholds follow the point ids the normals rewrite where the splitting moves, and give at every
// step exactly what thresholds choosing their points afresh give.
TEST(DisplayFilters, LabelThresholdFollowingRewrittenIdsEqualsAFreshChoiceOnRealMeshes)
{
  std::vector<double> blends;
  for (int i = 0; i <= 20; ++i)
  {
    blends.push_back(0.05 * i);
  }
  for (int i = 19; i >= 0; --i)
  {
    blends.push_back(0.05 * i + 0.013);
  }
  for (double jump : { 0.9, 0.1, 0.55, 0.5 })
  {
    blends.push_back(jump);
  }
  struct Case
  {
    const char* What;
    bool Labelled;
    bool StrayPoint;
  };
  // Labelled, both thresholds keep part of the model; unlabelled, one keeps all of it and
  // hands on the input's points, unless a point is used by no cell.
  const Case cases[] = { { "labelled", true, false }, { "unlabelled", false, false },
    { "unlabelled, a point no cell uses", false, true } };
  int tried = 0;
  for (const std::string& name : realmeshes::Names())
  {
    vtkSmartPointer<vtkPolyData> read = realmeshes::ReadOff(realmeshes::Path(name));
    if (!read)
    {
      continue;
    }
    ++tried;
    realmeshes::PlaceLikeTheSample(read);
    for (const Case& c : cases)
    {
      SCOPED_TRACE(name + ", " + c.What);
      vtkSmartPointer<vtkPolyData> mesh = MeshVariant(read, c.Labelled, c.StrayPoint);
      vtkNew<vtkPolyData> shown;
      shown->ShallowCopy(mesh);
      vtkNew<vtkCachedPolyDataNormals> normals;
      normals->SetInputData(shown);
      vtkNew<vtkTextureMapToCylinder> texture;
      texture->SetInputConnection(normals->GetOutputPort());
      texture->PreventSeamOn();
      vtkNew<vtkLabelThreshold> ours[2];
      ours[0]->SetThresholdFunction(vtkLabelThreshold::THRESHOLD_LOWER);
      ours[0]->SetLowerThreshold(0.0);
      ours[1]->SetThresholdFunction(vtkLabelThreshold::THRESHOLD_UPPER);
      ours[1]->SetUpperThreshold(1.0);
      ours[1]->KeepUnlabelledOn();
      for (auto& threshold : ours)
      {
        threshold->SetInputConnection(texture->GetOutputPort());
      }
      vtkIdType fewest = std::numeric_limits<vtkIdType>::max(), most = 0;
      int followed = 0;
      for (double blend : blends)
      {
        SCOPED_TRACE(blend);
        Deform(shown, mesh, TwistAndBend(blend));
        for (auto& threshold : ours)
        {
          const int updates = threshold->GetNumberOfPointUpdates();
          threshold->Update();
          followed += threshold->GetNumberOfPointUpdates() - updates;
          auto fresh = FreshCopy(threshold, vtkPolyData::SafeDownCast(texture->GetOutput()));
          ASSERT_TRUE(!c.Labelled || fresh->GetOutput()->GetNumberOfCells() > 0);
          ExpectSameOutput(threshold->GetOutput(), fresh->GetOutput());
        }
        fewest = std::min(fewest, normals->GetOutput()->GetNumberOfPoints());
        most = std::max(most, normals->GetOutput()->GetNumberOfPoints());
      }
      EXPECT_EQ(normals->GetNumberOfFullExecutions(), 1);
      EXPECT_LT(fewest, most) << "the number of split points never changed";
      // Each step that moved the splitting was followed by both thresholds, without choosing
      // their cells again.
      EXPECT_EQ(followed, 2 * normals->GetNumberOfSplittingUpdates());
      EXPECT_GE(normals->GetNumberOfSplittingUpdates(), static_cast<int>(blends.size()) / 2);
      for (auto& threshold : ours)
      {
        EXPECT_EQ(threshold->GetNumberOfSelections(), 1);
      }
    }
  }
  if (tried == 0)
  {
    GTEST_SKIP() << "no real meshes in " << realmeshes::Folder()
                 << ": run scripts/real-meshes.sh (downloads Debian's libcgal-demo)";
  }
}

// Point ids rewritten in place by hand, with and without a note of what was rewritten: the
// threshold follows a note that covers exactly the change since it last ran, and otherwise
// chooses its points afresh; either way its output is a fresh threshold's.
TEST(DisplayFilters, LabelThresholdBelievesOnlyANoteThatCoversTheWholeChange)
{
  // Six triangles over a strip of points 0-7, labelled 0 (kept) or 1, and spare points 8-11
  // that the rewrites move corners to.
  auto model = vtkSmartPointer<vtkPolyData>::New();
  vtkNew<vtkPoints> points;
  for (int i = 0; i < 12; ++i)
  {
    points->InsertNextPoint(0.1 * (i % 4) + 3e4, 0.2 * (i / 4) - 1e4, 0.01 * i * i);
  }
  model->SetPoints(points);
  vtkNew<vtkCellArray> polys;
  const vtkIdType corners[] = { 0, 1, 4, 1, 5, 4, 1, 2, 5, 2, 6, 5, 2, 3, 6, 3, 7, 6 };
  for (int c = 0; c < 6; ++c)
  {
    polys->InsertNextCell(3, corners + 3 * c);
  }
  ASSERT_TRUE(polys->IsStorage64Bit());
  vtkDataArray* ids = polys->GetConnectivityArray();
  model->SetPolys(polys);
  vtkNew<vtkFloatArray> labels;
  for (float label : { 0, 0, 1, 0, 1, 0 })
  {
    labels->InsertNextValue(label);
  }
  model->GetCellData()->SetScalars(labels);
  vtkNew<vtkFloatArray> height;
  height->SetName("height");
  for (int i = 0; i < 12; ++i)
  {
    height->InsertNextValue(static_cast<float>(100 - i));
  }
  model->GetPointData()->AddArray(height);

  struct Rewrite
  {
    const char* What;
    std::vector<vtkIdType> Entries; // position, new id, ...
    bool Noted;
    bool Seen;    // the threshold runs after this rewrite
    bool Follows; // and follows it
  };
  const Rewrite rewrites[] = {
    { "a kept corner to a spare point", { 1, 9 }, true, true, true },
    { "two kept corners back and one before the first used point", { 1, 1, 4, 8, 0, 10 }, true,
      true, true },
    { "a corner of a dropped cell only", { 6, 11 }, true, true, true },
    { "the last use of a point moved away", { 15, 9, 16, 9 }, true, true, true },
    { "without a note", { 10, 11 }, false, true, false },
    { "noted, but the threshold did not run", { 10, 6 }, true, false, false },
    { "noted after a rewrite it did not see", { 0, 0, 4, 4 }, true, true, false },
    { "noted again after choosing afresh", { 9, 8 }, true, true, true },
  };
  vtkNew<vtkLabelThreshold> ours;
  ours->SetThresholdFunction(vtkLabelThreshold::THRESHOLD_LOWER);
  ours->SetLowerThreshold(0.0);
  ours->SetInputData(model);
  ours->Update();
  ExpectSameOutput(ours->GetOutput(), FreshCopy(ours, model)->GetOutput());
  for (const Rewrite& r : rewrites)
  {
    SCOPED_TRACE(r.What);
    std::vector<vtkIdType> note;
    for (size_t e = 0; e < r.Entries.size(); e += 2)
    {
      note.push_back(r.Entries[e]);
      note.push_back(static_cast<vtkIdType>(ids->GetComponent(r.Entries[e], 0)));
      ids->SetComponent(r.Entries[e], 0, static_cast<double>(r.Entries[e + 1]));
    }
    if (r.Noted)
    {
      RewrittenIds::Record(ids, note);
    }
    else
    {
      ids->Modified();
    }
    polys->Modified();
    if (!r.Seen)
    {
      continue;
    }
    const int updates = ours->GetNumberOfPointUpdates();
    ours->Update();
    EXPECT_EQ(ours->GetNumberOfPointUpdates() - updates, r.Follows ? 1 : 0);
    ExpectSameOutput(ours->GetOutput(), FreshCopy(ours, model)->GetOutput());
  }
  EXPECT_EQ(ours->GetNumberOfSelections(), 1);
}
