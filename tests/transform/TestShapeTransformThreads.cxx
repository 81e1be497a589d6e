// The displacement computation shared between threads: identical bits for any number of
// threads, a blend factor written by another thread during evaluations, and single points
// transformed (forward and inverse) by several threads at once.
#include "ShapeTransformTesting.h"
#include "vtkShapeTransform.h"

#include "vtkFloatArray.h"
#include "vtkNew.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

using namespace shape_testing;

namespace
{
bool SameBits(vtkPoints* a, vtkPoints* b)
{
  const vtkIdType n = a->GetNumberOfPoints();
  return n == b->GetNumberOfPoints() &&
    std::memcmp(vtkFloatArray::FastDownCast(a->GetData())->GetPointer(0),
      vtkFloatArray::FastDownCast(b->GetData())->GetPointer(0), sizeof(float) * 3 * n) == 0;
}
}

TEST(ShapeTransformThreads, AnyNumberOfThreadsGivesTheSameBits)
{
  // Dense landmarks (about 60 in reach of a point), so that the order of the sums matters.
  Spline s = RandomSpline(3000, 0.17f, 201, 0.0, 1.0, 2.0);
  auto in = RandomPoints(60000, 202, -0.05, 1.05);

  vtkNew<ProbedTransform> single;
  single->SetNumberOfThreads(1);
  single->SetFactor(0.6f);
  s.HandTo(single);
  auto reference = Evaluate(single, in);
  vtkNew<vtkPoints> referenceCache;
  referenceCache->DeepCopy(single->GetDisplacements());
  EXPECT_EQ(single->Searches(), 60000);

  for (int threads : { 0, 2, 3, 7 })
  {
    vtkNew<ProbedTransform> transform;
    transform->SetNumberOfThreads(threads);
    transform->SetFactor(0.6f);
    s.HandTo(transform);
    auto out = Evaluate(transform, in);
    EXPECT_TRUE(SameBits(reference, out)) << threads << " threads";
    EXPECT_TRUE(SameBits(referenceCache, transform->GetDisplacements())) << threads << " threads";
    EXPECT_EQ(transform->Searches(), 60000) << threads << " threads";
  }
  // And the single-threaded result is the right one.
  vtkNew<vtkPoints> sample, sampleOut;
  for (vtkIdType i = 0; i < 60000; i += 97)
  {
    sample->InsertNextPoint(in->GetPoint(i));
    sampleOut->InsertNextPoint(reference->GetPoint(i));
  }
  EXPECT_LE(WorstDeviation(s, sample, sampleOut, 0.6f, false), 1.0);
}

TEST(ShapeTransformThreads, FactorWrittenByAnotherThreadAppliesToWholeOutputs)
{
  Spline s = RandomSpline(500, 0.25f, 211);
  auto in = RandomPoints(20000, 212);
  vtkNew<ProbedTransform> transform;
  s.HandTo(transform);
  transform->SetFactor(1.0f);
  auto full = Evaluate(transform, in); // fills the cache; d = x - full
  vtkPoints* d = transform->GetDisplacements();

  // The animation timer's part: a triangle wave of factors in steps of 1/8.
  std::atomic<bool> stop{ false };
  std::thread timer(
    [&]
    {
      for (int tick = 0; !stop.load(); ++tick)
      {
        const int phase = tick % 16;
        transform->SetFactor((phase < 8 ? phase : 16 - phase) / 8.0f);
      }
    });
  vtkMTimeType lastTime = 0;
  int moved = 0;
  for (int step = 0; step < 40; ++step)
  {
    auto out = Evaluate(transform, in);
    // Every point of one output uses one factor: recover it from the first coordinate whose
    // displacement is large enough, then check every coordinate against it.
    double factor = -1.0;
    for (vtkIdType i = 0; i < 20000 && factor < 0; ++i)
    {
      if (std::fabs(d->GetPoint(i)[0]) > 0.01)
      {
        factor =
          std::round(8.0 * (in->GetPoint(i)[0] - out->GetPoint(i)[0]) / d->GetPoint(i)[0]) / 8.0;
      }
    }
    ASSERT_GE(factor, 0.0);
    for (vtkIdType i = 0; i < 20000; ++i)
    {
      for (int a = 0; a < 3; ++a)
      {
        const float x = static_cast<float>(in->GetPoint(i)[a]);
        const float di = static_cast<float>(d->GetPoint(i)[a]);
        ASSERT_EQ(static_cast<float>(out->GetPoint(i)[a]),
          static_cast<float>(static_cast<double>(x) - factor * di))
          << "step " << step << " point " << i;
      }
    }
    const vtkMTimeType time = transform->GetMTime();
    moved += time > lastTime;
    lastTime = time;
  }
  stop = true;
  timer.join();
  EXPECT_GT(moved, 1); // the factor's writes moved the transform's modification time
  EXPECT_EQ(transform->Searches(), 20000);
}

TEST(ShapeTransformThreads, SinglePointsFromSeveralThreadsAtOnce)
{
  Spline s = RandomSpline(500, 0.25f, 221, 0.0, 1.0, 0.01);
  auto in = RandomPoints(2000, 222);
  vtkNew<vtkShapeTransform> transform;
  s.HandTo(transform);
  transform->SetFactor(0.5f);
  vtkAbstractTransform* inverse = transform->GetInverse();
  const vtkIdType n = in->GetNumberOfPoints();
  std::vector<double> forward(3 * n);
  std::vector<double> back(3 * n);
  for (vtkIdType i = 0; i < n; ++i)
  {
    transform->TransformPoint(in->GetPoint(i), &forward[3 * i]);
    inverse->TransformPoint(&forward[3 * i], &back[3 * i]);
  }

  std::atomic<int> differing{ 0 };
  std::vector<std::thread> threads;
  for (int k = 0; k < 4; ++k)
  {
    threads.emplace_back(
      [&, k]
      {
        for (vtkIdType j = 0; j < n; ++j)
        {
          const vtkIdType i = (j + k * n / 4) % n;
          double x[3];
          double y[3];
          double z[3];
          in->GetPoint(i, x);
          transform->TransformPoint(x, y);
          inverse->TransformPoint(y, z);
          differing += std::memcmp(y, &forward[3 * i], sizeof y) != 0 ||
            std::memcmp(z, &back[3 * i], sizeof z) != 0;
        }
      });
  }
  for (auto& thread : threads)
  {
    thread.join();
  }
  EXPECT_EQ(differing.load(), 0);
}
