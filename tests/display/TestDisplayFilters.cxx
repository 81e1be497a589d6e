// The display pipeline's filters that keep the cell work between animation steps give what
// VTK's own vtkPolyDataNormals and vtkThreshold give, step after step, and redo the cell work
// exactly when it would change.
#include "DisplayModels.h"
#include "RealMeshes.h"
#include "vtkCachedPolyDataNormals.h"
#include "vtkLabelThreshold.h"

#include <gtest/gtest.h>

#include <vtkFloatArray.h>

#include <vtkIdList.h>
#include <vtkPointData.h>
#include <vtkPolyDataNormals.h>
#include <vtkThreshold.h>
#include <vtkUnstructuredGrid.h>

#include <cmath>
#include <functional>
#include <limits>

namespace
{
using Deformation = std::function<void(double p[3])>;

// The model's points moved by a deformation, as a new points object (as the transform
// filter makes one per step); the cells stay the model's.
void Deform(vtkPolyData* shown, vtkPolyData* model, const Deformation& move)
{
  vtkNew<vtkPoints> points;
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

struct ModelCase
{
  const char* Name;
  std::function<vtkSmartPointer<vtkPolyData>()> Make;
};

const ModelCase Models[] = {
  { "sample leg",
    [] { return displaymodels::Read(std::string(QUORVEL_TEST_DATA_DIR) + "/leg.vtk"); } },
  { "creased sheet", [] { return displaymodels::CreasedSheet(); } },
  { "misoriented tube", [] { return displaymodels::MisorientedTube(); } },
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
      vtkNew<vtkPolyData> model;
      model->DeepCopy(mesh);
      if (c.Labelled)
      {
        realmeshes::Label(model);
      }
      if (c.StrayPoint)
      {
        model->GetPoints()->InsertNextPoint(0.2, 0.1, -0.3);
      }
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
