// The even selection of a large landmark set that the window draws while the animation plays:
// how many are kept, that every landmark has a kept one near it, that crowded places keep no
// more than sparse ones, and that the choice does not depend on where the set lies.
#include "EvenSubset.h"

#include "ModelFile.h"

#include <gtest/gtest.h>

#include <vtkMath.h>
#include <vtkMinimalStandardRandomSequence.h>
#include <vtkNew.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkStaticPointLocator.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <limits>
#include <string>

namespace
{
using Maker = std::function<void(vtkPoints*, vtkMinimalStandardRandomSequence*)>;

double Uniform(vtkMinimalStandardRandomSequence* random, double low, double high)
{
  random->Next();
  return random->GetRangeValue(low, high);
}

// n points in the box [low, high]^2 of the plane z = z0.
void OnSquare(
  vtkPoints* points, vtkMinimalStandardRandomSequence* random, vtkIdType n, double low, double high)
{
  for (vtkIdType i = 0; i < n; ++i)
  {
    points->InsertNextPoint(Uniform(random, low, high), Uniform(random, low, high), 0.25);
  }
}

// The sample model's vertices, far denser on the foot than on the shin, count of them chosen
// at random, each moved by noise of a thousandth of the model's size.
void OnTheSample(vtkPoints* points, vtkMinimalStandardRandomSequence* random, vtkIdType count)
{
  std::string why;
  auto model = ReadModelFile(std::string(QUORVEL_TEST_DATA_DIR) + "/leg.vtk", why);
  ASSERT_TRUE(model) << why;
  vtkPoints* vertices = model->GetPoints();
  const double size = model->GetLength();
  for (vtkIdType i = 0; i < count; ++i)
  {
    const auto k = static_cast<vtkIdType>(
      std::min(Uniform(random, 0, 1), 0.999999) * vertices->GetNumberOfPoints());
    double x[3];
    vertices->GetPoint(k, x);
    for (double& c : x)
    {
      c += 1e-3 * size * (Uniform(random, 0, 1) - 0.5);
    }
    points->InsertNextPoint(x);
  }
}

// Scales and moves every point: x * scale + shift.
void Place(vtkPoints* points, double scale, double shift)
{
  for (vtkIdType i = 0; i < points->GetNumberOfPoints(); ++i)
  {
    double x[3];
    points->GetPoint(i, x);
    points->SetPoint(i, x[0] * scale + shift, x[1] * scale - shift, x[2] * scale + 0.5 * shift);
  }
}

// The largest distance from a point of the set to the nearest kept point.
double Reach(vtkPoints* points, const std::vector<vtkIdType>& kept)
{
  vtkNew<vtkPoints> chosen;
  chosen->SetDataTypeToDouble();
  for (vtkIdType i : kept)
  {
    chosen->InsertNextPoint(points->GetPoint(i));
  }
  vtkNew<vtkPolyData> set;
  set->SetPoints(chosen);
  vtkNew<vtkStaticPointLocator> locator;
  locator->SetDataSet(set);
  locator->BuildLocator();
  double reach = 0.0;
  for (vtkIdType i = 0; i < points->GetNumberOfPoints(); ++i)
  {
    double x[3];
    points->GetPoint(i, x);
    const vtkIdType nearest = locator->FindClosestPoint(x);
    reach =
      std::max(reach, std::sqrt(vtkMath::Distance2BetweenPoints(x, chosen->GetPoint(nearest))));
  }
  return reach;
}

// The reach of count points taken one by one, each the farthest from those taken so far: at
// most twice the reach of the best choice of count points.
double FarthestFirstReach(vtkPoints* points, size_t count)
{
  const vtkIdType n = points->GetNumberOfPoints();
  std::vector<double> nearest(static_cast<size_t>(n), std::numeric_limits<double>::max());
  vtkIdType next = 0;
  double reach = 0.0;
  for (size_t taken = 0; taken <= count; ++taken)
  {
    double c[3];
    points->GetPoint(next, c);
    reach = 0.0;
    vtkIdType farthest = 0;
    for (vtkIdType i = 0; i < n; ++i)
    {
      if (taken < count)
      {
        nearest[i] = std::min(nearest[i], vtkMath::Distance2BetweenPoints(c, points->GetPoint(i)));
      }
      if (nearest[i] > reach)
      {
        reach = nearest[i];
        farthest = i;
      }
    }
    next = farthest;
  }
  return std::sqrt(reach);
}
}

TEST(EvenSubset, KeepsAtMostTheLimitSpreadOverTheWholeSetWhereverItLies)
{
  const struct
  {
    const char* Name;
    Maker Make;
    vtkIdType Limit;
    double Scale, Shift; // where the set is put
  } cases[] = {
    { "10,000 on the sample model", [](vtkPoints* p, auto* r) { OnTheSample(p, r, 10000); }, 500,
      1.0, 0.0 },
    { "the same far from the origin", [](vtkPoints* p, auto* r) { OnTheSample(p, r, 10000); }, 500,
      1.0, 2.5e5 },
    { "the same at a tenth of a millimetre",
      [](vtkPoints* p, auto* r) { OnTheSample(p, r, 10000); }, 500, 1e-4, 0.0 },
    { "2,000 on the sample model, few kept", [](vtkPoints* p, auto* r) { OnTheSample(p, r, 2000); },
      37, 1.0, 0.0 },
    { "a crowded square beside a sparse one",
      [](vtkPoints* p, auto* r)
      {
        OnSquare(p, r, 9000, 0.0, 1.0);
        OnSquare(p, r, 1000, 2.0, 3.0);
      },
      300, 1.0, 0.0 },
  };
  for (const auto& c : cases)
  {
    SCOPED_TRACE(c.Name);
    vtkNew<vtkMinimalStandardRandomSequence> random;
    random->SetSeed(2612);
    vtkNew<vtkPoints> points;
    points->SetDataTypeToDouble();
    c.Make(points, random);
    Place(points, c.Scale, c.Shift);
    const EvenSubsetResult kept = EvenSubset(points, c.Limit);
    const auto n = static_cast<vtkIdType>(kept.Indices.size());
    EXPECT_LE(n, c.Limit);
    EXPECT_GE(n, c.Limit / 2) << "as many as allowed, near enough";
    EXPECT_TRUE(std::is_sorted(kept.Indices.begin(), kept.Indices.end()));
    EXPECT_EQ(std::adjacent_find(kept.Indices.begin(), kept.Indices.end()), kept.Indices.end());
    ASSERT_TRUE(kept.Indices.empty() ||
      (kept.Indices.front() >= 0 && kept.Indices.back() < points->GetNumberOfPoints()));
    // Every point has a kept one within a cell's diagonal, and the kept points reach all of
    // the set nearly as well as the best choice of as many could (taking the first points,
    // or points at random, reaches more than twice as far here).
    const double reach = Reach(points, kept.Indices);
    EXPECT_LE(reach, std::sqrt(3.0) * kept.Cell * (1 + 1e-9));
    EXPECT_LE(reach, 1.75 * FarthestFirstReach(points, kept.Indices.size()));
    // The same choice wherever and at whatever size the set lies.
    if (c.Scale != 1.0 || c.Shift != 0.0)
    {
      vtkNew<vtkMinimalStandardRandomSequence> again;
      again->SetSeed(2612);
      vtkNew<vtkPoints> home;
      home->SetDataTypeToDouble();
      c.Make(home, again);
      EXPECT_EQ(EvenSubset(home, c.Limit).Indices, kept.Indices);
    }
  }
}

TEST(EvenSubset, ACrowdedPlaceKeepsNoMoreThanASparseOneOfTheSameSize)
{
  // Nine in ten points on one unit square, the rest on another: kept evenly, each square
  // keeps about half, where a choice at random would keep nine in ten on the crowded one.
  vtkNew<vtkMinimalStandardRandomSequence> random;
  random->SetSeed(31);
  vtkNew<vtkPoints> points;
  OnSquare(points, random, 9000, 0.0, 1.0);
  OnSquare(points, random, 1000, 2.0, 3.0);
  for (vtkIdType limit : { 50, 300, 900 })
  {
    SCOPED_TRACE(testing::Message() << "at most " << limit);
    const EvenSubsetResult kept = EvenSubset(points, limit);
    const auto crowded =
      std::count_if(kept.Indices.begin(), kept.Indices.end(), [](vtkIdType i) { return i < 9000; });
    const auto sparse = static_cast<long>(kept.Indices.size()) - crowded;
    EXPECT_GT(sparse, 0);
    EXPECT_LT(std::abs(crowded - sparse), 0.25 * static_cast<double>(kept.Indices.size()))
      << crowded << " kept on the crowded square, " << sparse << " on the sparse one";
  }
}

TEST(EvenSubset, SmallDegenerateAndBrokenSets)
{
  auto indices = [](std::vector<std::array<double, 3>> xyz, vtkIdType limit)
  {
    vtkNew<vtkPoints> points;
    for (const auto& x : xyz)
    {
      points->InsertNextPoint(x.data());
    }
    return EvenSubset(points, limit).Indices;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct
  {
    const char* Name;
    std::vector<std::array<double, 3>> Points;
    vtkIdType Limit;
    std::vector<vtkIdType> Kept;
  } cases[] = {
    { "no more than the limit: all", { { 0, 0, 0 }, { 1, 0, 0 }, { 5, 5, 5 } }, 3, { 0, 1, 2 } },
    { "a limit below one: none", { { 0, 0, 0 }, { 1, 0, 0 } }, 0, {} },
    { "no points", {}, 10, {} },
    { "all at one place: one", { { 7, 7, 7 }, { 7, 7, 7 }, { 7, 7, 7 } }, 2, { 0 } },
    { "points that are not numbers are never kept",
      { { nan, 0, 0 }, { 0, 0, 0 }, { 0, nan, 1 }, { 4, 4, 4 } }, 2, { 1, 3 } },
  };
  for (const auto& c : cases)
  {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(indices(c.Points, c.Limit), c.Kept);
  }
  EXPECT_TRUE(EvenSubset(nullptr, 5).Indices.empty());
}
