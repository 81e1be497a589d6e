// The background fit job: results and failures arrive on the user-interface thread, only the
// latest submission's result is ever delivered, fits of the process take one lock, and a
// job destroyed with a fit under way delivers nothing. The fit dialog's neighbour counts.
#include "GuiTestSupport.h"
#include "LandmarkFitJob.h"
#include "LandmarkGenerator.h"
#include "LandmarkNeighbours.h"
#include "LandmarkPairs.h"
#include "TransformFile.h"
#include "vtkShapeTransform.h"

#include <gtest/gtest.h>

#include <vtkMath.h>
#include <vtkNew.h>
#include <vtkPoints.h>

#include <QThread>

#include <algorithm>
#include <cmath>
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
    for (const Landmark& m : landmarks)
    {
      this->Sources->InsertNextPoint(m.Source);
      this->Targets->InsertNextPoint(m.Target);
    }
  }
};

// What a job handed to the test, and on which thread.
struct Received
{
  std::vector<LandmarkFitResult> Results;
  std::vector<unsigned long> StagesOf; // the latest submission when each stage report came
  bool OffThread = false;
  LandmarkFitJob* Job = nullptr;
  std::unique_ptr<LandmarkFitJob> Make()
  {
    auto job = std::make_unique<LandmarkFitJob>(
      [this](const LandmarkFitResult& r)
      {
        this->OffThread |= QThread::currentThread() != guitest::App().thread();
        this->Results.push_back(r);
      },
      [this](const std::string&, double)
      {
        this->OffThread |= QThread::currentThread() != guitest::App().thread();
        this->StagesOf.push_back(this->Job->GetLatestSubmission());
      });
    this->Job = job.get();
    return job;
  }
};

// A set large enough that its fit takes a noticeable while.
const std::vector<Landmark>& LargeSet()
{
  static const std::vector<Landmark> set = RandomSphereLandmarks(30000, 11);
  return set;
}
const double LargeRadius = SphereRadiusForNeighbours(30000, 30.0);
}

TEST(LandmarkFitJob, DeliversOnTheInterfaceThreadAFitThatCarriesLandmarksOntoTargets)
{
  guitest::App();
  const std::vector<Landmark> landmarks = GradedMeshLandmarks(12);
  Pairs pairs(landmarks);
  Received got;
  auto job = got.Make();
  const unsigned long n = job->Submit(pairs.Sources, pairs.Targets, 0.4, 0.0);
  EXPECT_TRUE(job->IsBusy());
  EXPECT_TRUE(got.Results.empty()) << "delivered from within Submit";
  ASSERT_TRUE(guitest::WaitFor([&] { return !got.Results.empty(); }));
  EXPECT_FALSE(job->IsBusy());
  EXPECT_FALSE(got.OffThread);
  const LandmarkFitResult& r = got.Results[0];
  ASSERT_TRUE(r.Succeeded) << r.Reason;
  EXPECT_EQ(r.Submission, n);
  EXPECT_EQ(r.Landmarks, static_cast<vtkIdType>(landmarks.size()));
  ASSERT_TRUE(r.Coefficients);

  // The viewer's transform moves x to x - d(x) at full blend: sources reach their targets.
  vtkNew<vtkShapeTransform> transform;
  transform->SetParameters(*r.Coefficients);
  transform->SetFactor(1.0f);
  double worst = 0.0;
  for (const Landmark& m : landmarks)
  {
    double out[3];
    transform->TransformPoint(m.Source, out);
    for (int a = 0; a < 3; ++a)
    {
      worst = std::max(worst, std::abs(out[a] - m.Target[a]));
    }
  }
  EXPECT_LT(worst, 1e-4);
}

TEST(LandmarkFitJob, FailuresCarryTheLibrarysReason)
{
  guitest::App();
  std::vector<Landmark> twice = RandomLandmarks(20, 5);
  std::copy(twice[3].Source, twice[3].Source + 3, twice[9].Source);
  struct Case
  {
    const char* Name;
    std::vector<Landmark> Landmarks;
    double Radius;
    const char* Words;
  };
  const Case cases[] = {
    { "shared source", twice, 0.5, "share one source position" },
    { "radius zero", RandomLandmarks(20, 6), 0.0, "radius must be a positive number" },
    { "no landmarks", {}, 0.5, "" },
  };
  for (const Case& c : cases)
  {
    Pairs pairs(c.Landmarks);
    Received got;
    auto job = got.Make();
    job->Submit(pairs.Sources, pairs.Targets, c.Radius, 0.0);
    ASSERT_TRUE(guitest::WaitFor([&] { return !got.Results.empty(); })) << c.Name;
    const LandmarkFitResult& r = got.Results[0];
    EXPECT_FALSE(r.Succeeded) << c.Name;
    EXPECT_FALSE(r.Coefficients) << c.Name;
    EXPECT_FALSE(r.Reason.empty()) << c.Name;
    EXPECT_NE(r.Reason.find(c.Words), std::string::npos) << c.Name << ": " << r.Reason;
  }
}

TEST(LandmarkFitJob, OnlyTheLatestSubmissionIsDelivered)
{
  guitest::App();
  Pairs large(LargeSet());
  Pairs small(GradedMeshLandmarks(10));
  Received got;
  auto job = got.Make();

  // A fit under way when newer ones arrive: its result, and that of one that only waited,
  // are dropped.
  job->Submit(large.Sources, large.Targets, LargeRadius, 0.0);
  ASSERT_TRUE(guitest::WaitFor([&] { return !got.StagesOf.empty(); }));
  job->Submit(small.Sources, small.Targets, 0.3, 0.0);
  const unsigned long last = job->Submit(small.Sources, small.Targets, 0.45, 0.01);
  // The worker fits in order and results arrive in order: once the last one is here, the
  // first one's has come and gone.
  ASSERT_TRUE(guitest::WaitFor([&] { return !job->IsBusy(); }));
  ASSERT_EQ(got.Results.size(), 1u);
  EXPECT_EQ(got.Results[0].Submission, last);
  EXPECT_EQ(got.Results[0].Radius, 0.45);
  EXPECT_EQ(got.Results[0].Smoothing, 0.01);
  EXPECT_TRUE(got.Results[0].Succeeded) << got.Results[0].Reason;

  // Cancelled: nothing arrives for it, and the next submission's result does.
  job->Submit(small.Sources, small.Targets, 0.3, 0.0);
  job->Cancel();
  EXPECT_FALSE(job->IsBusy());
  const unsigned long after = job->Submit(small.Sources, small.Targets, 0.35, 0.0);
  ASSERT_TRUE(guitest::WaitFor([&] { return got.Results.size() == 2; }));
  EXPECT_EQ(got.Results[1].Submission, after);
}

TEST(LandmarkFitJob, FitsOfTheProcessTakeOneLock)
{
  guitest::App();
  Pairs small(GradedMeshLandmarks(10));
  Received got;
  auto job = got.Make();
  {
    std::lock_guard<std::mutex> held(LandmarkFitJob::FitLock());
    job->Submit(small.Sources, small.Targets, 0.3, 0.0);
    guitest::Settle(300);
    EXPECT_TRUE(got.StagesOf.empty()) << "a fit started while another held the lock";
    EXPECT_TRUE(got.Results.empty());
  }
  EXPECT_TRUE(guitest::WaitFor([&] { return got.Results.size() == 1; }));
}

TEST(LandmarkFitJob, DestroyedWithAFitUnderWayDeliversNothing)
{
  guitest::App();
  Pairs large(LargeSet());
  Received got;
  {
    auto job = got.Make();
    job->Submit(large.Sources, large.Targets, LargeRadius, 0.0);
    ASSERT_TRUE(guitest::WaitFor([&] { return !got.StagesOf.empty(); }));
  }
  got.Job = nullptr;
  guitest::Flush();
  EXPECT_TRUE(got.Results.empty());
}

TEST(LandmarkNeighbours, CountsAllUnderTheBudgetAndAnEvenSampleBeyondIt)
{
  LandmarkPairs pairs;
  for (const Landmark& m : RandomLandmarks(1200, 9))
  {
    pairs.GetSources()->InsertNextPoint(m.Source);
    pairs.GetTargets()->InsertNextPoint(m.Target);
  }
  pairs.Modified();
  LandmarkNeighbours neighbours;
  struct Case
  {
    double Radius;
    vtkIdType Budget;
    bool Sampled;
  };
  // 1200 points in the unit cube: radius 0.1 gives about 5 neighbours each, 2 joins them all.
  const Case cases[] = { { 0.1, 20000000, false }, { 2.0, 20000000, false }, { 2.0, 100000, true },
    { 0.1, 100000, false } };
  vtkPoints* points = pairs.GetSources();
  for (const Case& c : cases)
  {
    neighbours.CountBudget = c.Budget;
    const NeighbourStatistics s = neighbours.Count(pairs, c.Radius);
    EXPECT_EQ(s.Counted < 1200, c.Sampled) << c.Radius << ", budget " << c.Budget;
    ASSERT_GT(s.Counted, 0);
    // The sample is every step-th landmark: check the counts of those by brute force.
    const vtkIdType step = (1200 + s.Counted - 1) / s.Counted;
    vtkIdType most = 0;
    for (vtkIdType i = 0; i < 1200; i += step)
    {
      double a[3];
      points->GetPoint(i, a);
      vtkIdType others = 0;
      for (vtkIdType j = 0; j < 1200; ++j)
      {
        double b[3];
        points->GetPoint(j, b);
        others += j != i && vtkMath::Distance2BetweenPoints(a, b) <= c.Radius * c.Radius ? 1 : 0;
      }
      most = std::max(most, others);
    }
    EXPECT_EQ(s.Most, most) << c.Radius << ", budget " << c.Budget;
    EXPECT_LE(static_cast<double>(s.Counted) * s.Mean, 2.0 * static_cast<double>(c.Budget));
  }

  // A change of the pairs is seen: the locator is built again.
  pairs.GetSources()->SetPoint(0, 5.0, 5.0, 5.0);
  pairs.Modified();
  neighbours.CountBudget = 20000000;
  EXPECT_EQ(neighbours.Count(pairs, 0.5).Lonely, 1);
}
