// The one-target refit of a drag: a moved target's coefficients from the fit before the move
// and the system's response, against a full fit of the moved landmarks, on sets like users'
// (graded spacing, far from the origin, tiny, smoothed, flat); when it must decline; and the
// fit job's quick path, its settling full fit and its delivery of overtaken fits.
#include "GuiTestSupport.h"
#include "LandmarkFitJob.h"
#include "LandmarkGenerator.h"
#include "TargetMoveRefit.h"
#include "TransformFile.h"
#include "vtkLandmarkSplineFit.h"
#include "vtkShapeTransform.h"

#include <gtest/gtest.h>

#include <vtkNew.h>
#include <vtkPoints.h>
#include <vtkSmartPointer.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace
{
struct Pairs
{
  vtkNew<vtkPoints> Sources;
  vtkNew<vtkPoints> Targets;
  explicit Pairs(const std::vector<Landmark>& landmarks)
  {
    this->Sources->SetDataTypeToDouble();
    this->Targets->SetDataTypeToDouble();
    for (const Landmark& m : landmarks)
    {
      this->Sources->InsertNextPoint(m.Source);
      this->Targets->InsertNextPoint(m.Target);
    }
  }
};

std::shared_ptr<const TransformCoefficients> FullFit(
  vtkPoints* sources, vtkPoints* targets, double radius, double smoothing)
{
  vtkNew<vtkLandmarkSplineFit> fit;
  fit->SetSourceLandmarks(sources);
  fit->SetTargetLandmarks(targets);
  fit->SetRadius(radius);
  fit->SetSmoothing(smoothing);
  return fit->Fit() ? fit->GetFittedCoefficients() : nullptr;
}

// The largest distance, over the given points, between where two splines take them, at full
// deformation.
double LargestDifference(
  const TransformCoefficients& a, const TransformCoefficients& b, vtkPoints* at)
{
  vtkNew<vtkShapeTransform> first;
  vtkNew<vtkShapeTransform> second;
  first->SetParameters(a);
  second->SetParameters(b);
  first->SetFactor(1.0f);
  second->SetFactor(1.0f);
  double worst = 0.0;
  for (vtkIdType i = 0; i < at->GetNumberOfPoints(); ++i)
  {
    double p[3];
    double u[3];
    double v[3];
    at->GetPoint(i, p);
    first->TransformPoint(p, u);
    second->TransformPoint(p, v);
    for (int k = 0; k < 3; ++k)
    {
      worst = std::max(worst, std::abs(u[k] - v[k]));
    }
  }
  return worst;
}

double Extent(vtkPoints* points)
{
  double b[6];
  points->GetBounds(b);
  return std::max({ b[1] - b[0], b[3] - b[2], b[5] - b[4] });
}

std::vector<Landmark> Moved(std::vector<Landmark> set, const double by[3])
{
  for (Landmark& m : set)
  {
    for (int a = 0; a < 3; ++a)
    {
      m.Source[a] += by[a];
      m.Target[a] += by[a];
    }
  }
  return set;
}

std::vector<Landmark> Scaled(std::vector<Landmark> set, double factor)
{
  for (Landmark& m : set)
  {
    for (int a = 0; a < 3; ++a)
    {
      m.Source[a] *= factor;
      m.Target[a] *= factor;
    }
  }
  return set;
}

std::vector<Landmark> Flat(std::vector<Landmark> set)
{
  for (Landmark& m : set)
  {
    m.Source[2] = 0.0;
    m.Target[2] = 0.0;
  }
  return set;
}

struct Case
{
  const char* Name;
  std::vector<Landmark> Landmarks;
  double Radius;
  double Smoothing;
};

std::vector<Case> Cases()
{
  const double far[3] = { 2.5e5, -1.25e5, 6.0e4 };
  return {
    { "graded mesh", GradedMeshLandmarks(16), 0.35, 0.0 },
    { "random on a sphere, noisy", RandomSphereLandmarks(600, 3), 0.3, 0.0 },
    { "far from the origin", Moved(RandomSphereLandmarks(400, 4), far), 0.35, 0.0 },
    { "tiny", Scaled(RandomSphereLandmarks(400, 5), 1e-3), 0.35e-3, 0.0 },
    { "smoothed", RandomLandmarks(300, 6), 0.3, 0.01 },
    { "flat", Flat(RandomLandmarks(200, 7)), 0.35, 0.0 },
  };
}
}

TEST(TargetMoveRefit, AgreesWithAFullFitOfTheMovedTarget)
{
  for (const Case& c : Cases())
  {
    Pairs pairs(c.Landmarks);
    const auto base = FullFit(pairs.Sources, pairs.Targets, c.Radius, c.Smoothing);
    ASSERT_TRUE(base) << c.Name;
    TargetMoveRefit refit;
    refit.SetBase(pairs.Sources, pairs.Targets, c.Radius, c.Smoothing, base);

    const vtkIdType moved = static_cast<vtkIdType>(c.Landmarks.size() / 3);
    vtkNew<vtkPoints> responseTargets;
    TargetMoveRefit::ResponseTargets(pairs.Sources, moved, refit.ResponseStep(), responseTargets);
    refit.SetResponse(moved, FullFit(pairs.Sources, responseTargets, c.Radius, c.Smoothing));
    ASSERT_TRUE(refit.HasResponse(moved)) << c.Name;

    // A drag: several positions of the target, each against a full fit of the same landmarks.
    const double extent = Extent(pairs.Sources);
    double t[3];
    pairs.Targets->GetPoint(moved, t);
    for (int step = 1; step <= 4; ++step)
    {
      const double at[3] = { t[0] + 0.02 * extent * step, t[1] - 0.013 * extent * step,
        t[2] + 0.007 * extent * step * step };
      pairs.Targets->SetPoint(moved, at);
      EXPECT_EQ(refit.MovedTarget(pairs.Sources, pairs.Targets, c.Radius, c.Smoothing), moved)
        << c.Name;
      const auto quick = refit.Apply(pairs.Targets);
      const auto full = FullFit(pairs.Sources, pairs.Targets, c.Radius, c.Smoothing);
      ASSERT_TRUE(quick) << c.Name;
      ASSERT_TRUE(full) << c.Name;
      // Where the two take the landmarks and the moved target: the fit's own rounding.
      const double difference = LargestDifference(*quick, *full, pairs.Sources);
      EXPECT_LT(difference, 2e-5 * extent) << c.Name << ", step " << step;
      if (c.Smoothing == 0.0)
      {
        // An exact fit carries the moved landmark onto its new target.
        vtkNew<vtkShapeTransform> transform;
        transform->SetParameters(*quick);
        transform->SetFactor(1.0f);
        double s[3];
        double out[3];
        pairs.Sources->GetPoint(moved, s);
        transform->TransformPoint(s, out);
        for (int a = 0; a < 3; ++a)
        {
          EXPECT_NEAR(out[a], at[a], 2e-5 * extent) << c.Name << ", step " << step;
        }
      }
    }
  }
}

TEST(TargetMoveRefit, DeclinesWhatOneResponseCannotAnswer)
{
  Pairs pairs(RandomLandmarks(60, 8));
  const double radius = 0.5;
  const auto base = FullFit(pairs.Sources, pairs.Targets, radius, 0.0);
  ASSERT_TRUE(base);
  TargetMoveRefit refit;
  EXPECT_EQ(refit.MovedTarget(pairs.Sources, pairs.Targets, radius, 0.0), -1) << "no base";
  refit.SetBase(pairs.Sources, pairs.Targets, radius, 0.0, base);

  struct Change
  {
    const char* Name;
    vtkIdType SourceMoved;          // -1: none
    std::vector<vtkIdType> Targets; // targets moved
    double Radius;
    double Smoothing;
    vtkIdType Expected;
  };
  const Change changes[] = {
    { "one target", -1, { 7 }, radius, 0.0, 7 },
    { "nothing", -1, {}, radius, 0.0, -1 },
    { "two targets", -1, { 7, 9 }, radius, 0.0, -1 },
    { "a source", 3, { 7 }, radius, 0.0, -1 },
    { "the radius", -1, { 7 }, 0.6, 0.0, -1 },
    { "the smoothing", -1, { 7 }, radius, 0.01, -1 },
  };
  for (const Change& c : changes)
  {
    vtkNew<vtkPoints> sources;
    vtkNew<vtkPoints> targets;
    sources->SetDataTypeToDouble();
    targets->SetDataTypeToDouble();
    sources->DeepCopy(pairs.Sources);
    targets->DeepCopy(pairs.Targets);
    if (c.SourceMoved >= 0)
    {
      double p[3];
      sources->GetPoint(c.SourceMoved, p);
      p[1] += 0.01;
      sources->SetPoint(c.SourceMoved, p);
    }
    for (const vtkIdType i : c.Targets)
    {
      double p[3];
      targets->GetPoint(i, p);
      p[0] += 0.02;
      targets->SetPoint(i, p);
    }
    EXPECT_EQ(refit.MovedTarget(sources, targets, c.Radius, c.Smoothing), c.Expected) << c.Name;
    if (c.Targets.size() == 2)
    {
      EXPECT_FALSE(refit.Apply(targets)) << "two targets moved gave coefficients";
    }
  }
  // Without the moved landmark's response there is nothing to apply.
  vtkNew<vtkPoints> targets;
  targets->SetDataTypeToDouble();
  targets->DeepCopy(pairs.Targets);
  targets->SetPoint(7, 0.5, 0.5, 0.5);
  EXPECT_FALSE(refit.Apply(targets));

  // A new base with other sources forgets the responses; one with other targets keeps them.
  vtkNew<vtkPoints> responseTargets;
  TargetMoveRefit::ResponseTargets(pairs.Sources, 7, refit.ResponseStep(), responseTargets);
  refit.SetResponse(7, FullFit(pairs.Sources, responseTargets, radius, 0.0));
  ASSERT_TRUE(refit.HasResponse(7));
  refit.SetBase(pairs.Sources, targets, radius, 0.0, base);
  EXPECT_TRUE(refit.HasResponse(7)) << "lost with a change of targets only";
  vtkNew<vtkPoints> sources;
  sources->SetDataTypeToDouble();
  sources->DeepCopy(pairs.Sources);
  sources->SetPoint(0, -1.0, -1.0, -1.0);
  refit.SetBase(sources, targets, radius, 0.0, base);
  EXPECT_FALSE(refit.HasResponse(7)) << "kept across a change of sources";
}

TEST(TargetMoveRefit, TheJobAnswersADragQuicklyAndSettlesOnAFullFit)
{
  guitest::App();
  Pairs pairs(RandomSphereLandmarks(3000, 12));
  const double radius = SphereRadiusForNeighbours(3000, 30.0);
  std::vector<LandmarkFitResult> results;
  LandmarkFitJob job([&](const LandmarkFitResult& r) { results.push_back(r); });
  job.SetShowIntermediate(true);

  // The first fit has nothing to start from: a full one.
  job.Submit(pairs.Sources, pairs.Targets, radius, 0.0, true);
  ASSERT_TRUE(guitest::WaitFor([&] { return results.size() == 1; }, 60000));
  ASSERT_TRUE(results[0].Succeeded) << results[0].Reason;
  EXPECT_FALSE(results[0].Quick);
  EXPECT_EQ(job.Settle(), 0u) << "a full fit needs no settling";

  // A drag of one target: quick results, each close to the full fit of its landmarks.
  double t[3];
  pairs.Targets->GetPoint(100, t);
  for (int step = 1; step <= 3; ++step)
  {
    t[0] += 0.01;
    t[2] -= 0.004;
    pairs.Targets->SetPoint(100, t);
    job.Submit(pairs.Sources, pairs.Targets, radius, 0.0, true);
    ASSERT_TRUE(guitest::WaitFor([&] { return results.size() == 1u + step; }, 60000));
    const LandmarkFitResult& r = results.back();
    ASSERT_TRUE(r.Succeeded) << r.Reason;
    EXPECT_TRUE(r.Quick) << "step " << step;
    const auto full = FullFit(pairs.Sources, pairs.Targets, radius, 0.0);
    ASSERT_TRUE(full);
    EXPECT_LT(LargestDifference(*r.Coefficients, *full, pairs.Sources), 2e-5) << "step " << step;
  }

  // The drag ends: the same landmarks fitted in full, bit for bit what any full fit gives.
  EXPECT_NE(job.Settle(), 0u);
  ASSERT_TRUE(guitest::WaitFor([&] { return results.size() == 5; }, 60000));
  const LandmarkFitResult& settled = results.back();
  ASSERT_TRUE(settled.Succeeded) << settled.Reason;
  EXPECT_FALSE(settled.Quick);
  const auto full = FullFit(pairs.Sources, pairs.Targets, radius, 0.0);
  ASSERT_TRUE(full);
  EXPECT_EQ(settled.Coefficients->CoeffX, full->CoeffX);
  EXPECT_EQ(settled.Coefficients->CoeffY, full->CoeffY);
  EXPECT_EQ(settled.Coefficients->CoeffZ, full->CoeffZ);
  EXPECT_EQ(job.Settle(), 0u);

  // Settled before the quick answer has arrived (the button released at once): the full fit
  // follows all the same.
  t[1] -= 0.005;
  pairs.Targets->SetPoint(100, t);
  job.Submit(pairs.Sources, pairs.Targets, radius, 0.0, true);
  EXPECT_NE(job.Settle(), 0u);
  ASSERT_TRUE(guitest::WaitFor([&] { return !job.IsBusy(); }, 60000));
  EXPECT_FALSE(results.back().Quick);
  const auto again = FullFit(pairs.Sources, pairs.Targets, radius, 0.0);
  ASSERT_TRUE(again);
  EXPECT_EQ(results.back().Coefficients->CoeffX, again->CoeffX);
  const std::size_t delivered = results.size();

  // Not asked for, no quick answer: the same move fitted in full.
  t[1] += 0.01;
  pairs.Targets->SetPoint(100, t);
  job.Submit(pairs.Sources, pairs.Targets, radius, 0.0, false);
  ASSERT_TRUE(guitest::WaitFor([&] { return results.size() == delivered + 1; }, 60000));
  EXPECT_FALSE(results.back().Quick);
}

TEST(TargetMoveRefit, ADragThatOutrunsTheFitsStillShowsEachFitThatEnds)
{
  guitest::App();
  // Full fits (sources moved: no quick answer) that take long against the submissions.
  Pairs pairs(RandomSphereLandmarks(30000, 13));
  const double radius = SphereRadiusForNeighbours(30000, 30.0);
  std::vector<LandmarkFitResult> results;
  std::vector<unsigned long> latestAtDelivery;
  std::unique_ptr<LandmarkFitJob> job;
  bool stageSeen = false;
  job = std::make_unique<LandmarkFitJob>(
    [&](const LandmarkFitResult& r)
    {
      results.push_back(r);
      latestAtDelivery.push_back(job->GetLatestSubmission());
    },
    [&](const std::string&, double) { stageSeen = true; });
  job->SetShowIntermediate(true);

  const unsigned long first = job->Submit(pairs.Sources, pairs.Targets, radius, 0.0);
  ASSERT_TRUE(guitest::WaitFor([&] { return stageSeen; }, 60000));
  // Moves keep coming while the first fit runs: the one waiting is replaced each time.
  double s[3];
  pairs.Sources->GetPoint(5, s);
  unsigned long last = 0;
  for (int move = 0; move < 3; ++move)
  {
    s[0] += 1e-3;
    pairs.Sources->SetPoint(5, s);
    last = job->Submit(pairs.Sources, pairs.Targets, radius, 0.0);
  }
  ASSERT_TRUE(guitest::WaitFor([&] { return !job->IsBusy(); }, 120000));
  // The overtaken first fit was shown, then the latest; nothing older after something newer.
  ASSERT_EQ(results.size(), 2u);
  EXPECT_EQ(results[0].Submission, first);
  EXPECT_LT(results[0].Submission, latestAtDelivery[0]) << "was not overtaken";
  EXPECT_EQ(results[1].Submission, last);
  EXPECT_TRUE(results[0].Succeeded && results[1].Succeeded);

  job.reset();
}
