// The neighbour statistics and the suggested radius against a brute-force count over every
// pair, on uneven sets: a graded mesh whose spacing ranges a thousand-fold, random points on
// a sphere far from the origin, and a tiny set.
#include "LandmarkGenerator.h"
#include "NeighbourStatistics.h"

#include <gtest/gtest.h>

#include <vtkNew.h>
#include <vtkPointLocator.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace
{
struct Set
{
  std::string Name;
  std::function<std::vector<Landmark>()> Make;
};

const std::vector<Set>& Sets()
{
  static const std::vector<Set> sets = {
    { "graded mesh", [] { return GradedMeshLandmarks(40); } },
    { "random sphere far away",
      []
      {
        std::vector<Landmark> l = RandomSphereLandmarks(1500, 7, 3.0);
        for (Landmark& m : l)
        {
          m.Source[0] += 2.5e5;
          m.Source[2] -= 4.0e4;
        }
        return l;
      } },
    { "tiny",
      []
      {
        std::vector<Landmark> l = RandomLandmarks(800, 3);
        for (Landmark& m : l)
        {
          for (double& x : m.Source)
          {
            x *= 1e-4;
          }
        }
        return l;
      } },
  };
  return sets;
}

struct Located
{
  vtkNew<vtkPoints> Points;
  vtkNew<vtkPolyData> Data;
  vtkNew<vtkPointLocator> Locator;
  explicit Located(const std::vector<Landmark>& landmarks)
  {
    this->Points->SetDataTypeToDouble();
    for (const Landmark& m : landmarks)
    {
      this->Points->InsertNextPoint(m.Source);
    }
    this->Data->SetPoints(this->Points);
    this->Locator->SetDataSet(this->Data);
    this->Locator->BuildLocator();
  }
};

// Every pair looked at: the neighbours of each point within radius (boundary included).
std::vector<vtkIdType> BruteForceCounts(vtkPoints* points, double radius)
{
  const vtkIdType n = points->GetNumberOfPoints();
  std::vector<vtkIdType> counts(n, 0);
  for (vtkIdType i = 0; i < n; ++i)
  {
    double a[3];
    points->GetPoint(i, a);
    for (vtkIdType j = 0; j < n; ++j)
    {
      double b[3];
      points->GetPoint(j, b);
      const double d2 = (a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) +
        (a[2] - b[2]) * (a[2] - b[2]);
      if (j != i && d2 <= radius * radius)
      {
        ++counts[i];
      }
    }
  }
  return counts;
}

// The typical spacing of the set: the median distance to the nearest other point.
double MedianSpacing(vtkPoints* points, vtkPointLocator* locator)
{
  double mean = 0.0;
  return SuggestRadius(points, locator, 1, mean);
}
}

TEST(NeighbourStatistics, MatchBruteForceCountsOnUnevenSets)
{
  for (const Set& set : Sets())
  {
    Located l(set.Make());
    const double spacing = MedianSpacing(l.Points, l.Locator);
    ASSERT_GT(spacing, 0.0) << set.Name;
    // From radii that leave most points alone to radii that join hundreds; step 1 counts all,
    // larger steps an even sample.
    for (const double factor : { 0.3, 1.7, 4.1, 11.3 })
    {
      for (const vtkIdType step : { 1, 7 })
      {
        const double radius = factor * spacing;
        const std::vector<vtkIdType> all = BruteForceCounts(l.Points, radius);
        vtkIdType fewest = all[0], most = 0, lonely = 0, counted = 0;
        double total = 0.0;
        for (std::size_t i = 0; i < all.size(); i += static_cast<std::size_t>(step))
        {
          fewest = std::min(fewest, all[i]);
          most = std::max(most, all[i]);
          lonely += all[i] == 0 ? 1 : 0;
          total += static_cast<double>(all[i]);
          ++counted;
        }
        const NeighbourStatistics s = CountNeighbourStatistics(l.Points, l.Locator, radius, step);
        const std::string where =
          set.Name + ", radius " + std::to_string(radius) + ", step " + std::to_string(step);
        EXPECT_EQ(s.Counted, counted) << where;
        EXPECT_EQ(s.Fewest, fewest) << where;
        EXPECT_EQ(s.Most, most) << where;
        EXPECT_EQ(s.Lonely, lonely) << where;
        EXPECT_NEAR(s.Mean, total / static_cast<double>(counted), 1e-9) << where;
      }
    }
  }
}

TEST(NeighbourStatistics, RadiusThatIsNotPositiveGivesNoNeighbours)
{
  Located l(RandomLandmarks(50, 1));
  for (const double radius : { 0.0, -1.0 })
  {
    const NeighbourStatistics s = CountNeighbourStatistics(l.Points, l.Locator, radius);
    EXPECT_EQ(s.Counted, 50);
    EXPECT_EQ(s.Most, 0);
    EXPECT_EQ(s.Lonely, 50);
  }
  vtkNew<vtkPoints> none;
  EXPECT_EQ(CountNeighbourStatistics(none, l.Locator, 1.0).Counted, 0);
}

TEST(NeighbourStatistics, SuggestedRadiusGivesAboutTheAimedCount)
{
  for (const Set& set : Sets())
  {
    Located l(set.Make());
    for (const int aimed : { 10, 30 })
    {
      double mean = 0.0;
      const double radius = SuggestRadius(l.Points, l.Locator, aimed, mean);
      std::vector<vtkIdType> counts = BruteForceCounts(l.Points, radius);
      std::nth_element(counts.begin(), counts.begin() + counts.size() / 2, counts.end());
      const double median = static_cast<double>(counts[counts.size() / 2]);
      // The radius is a median over a sample: the median count over all points lies near
      // the aim (within a sixth of it plus one).
      EXPECT_NEAR(median, aimed, aimed / 6.0 + 1.0) << set.Name << ", radius " << radius;
      EXPECT_GT(mean, 0.0) << set.Name;
    }
  }
  double mean = 1.0;
  Located single(RandomLandmarks(1, 2));
  EXPECT_EQ(SuggestRadius(single.Points, single.Locator, 30, mean), 0.0);
  EXPECT_EQ(mean, 0.0);
}
