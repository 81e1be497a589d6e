// Pravik on a landmark set whose envelope does not fit under the process's address-space
// limit: it fits through the sparse solve instead of failing, the spline interpolates every
// landmark, and the coefficients are those of the envelope (run without the limit).
#include "LandmarkGenerator.h"
#include "PravikRun.h"
#include "ReliabilityTesting.h"
#include "SparseKernelSystem.h"
#include "TransformFile.h"
#include "vtkDatReader.h"

#include <vtkIdList.h>
#include <vtkMath.h>
#include <vtkNew.h>
#include <vtkPointLocator.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

using namespace reliability;

namespace
{
// The entries the envelope of this set needs, in the reader's ordering.
std::int64_t EnvelopeBytes(const std::string& dat, float radius)
{
  vtkNew<vtkDatReader> reader;
  reader->FileName = dat.c_str();
  reader->SetRadius(radius);
  EXPECT_EQ(reader->Read(), 0);
  reader->FileName = nullptr;
  const int n = static_cast<int>(reader->GetPointArray()->GetNumberOfPoints());
  std::vector<float> ordered(3 * static_cast<size_t>(n));
  for (int k = 0; k < n; ++k)
  {
    double p[3];
    reader->GetPointArray()->GetPoint(reader->GetList()[k], p);
    for (int a = 0; a < 3; ++a)
    {
      ordered[a * static_cast<size_t>(n) + k] = static_cast<float>(p[a]);
    }
  }
  OrderedPoints points;
  points.X = ordered.data();
  points.Y = points.X + n;
  points.Z = points.Y + n;
  points.N = n;
  // Pairs closer than the radius (the limit a little below its square is close enough here).
  return 4 * MeasureKernelProfile(points, radius, 0.999 * radius * radius).EnvelopeEntries;
}

// The largest difference, over every landmark and axis, between the spline of the file at the
// landmark's source position and its source minus target.
double WorstInterpolationError(const std::string& trc, const std::vector<Landmark>& landmarks)
{
  TransformCoefficients c;
  const TransformFileResult read = ReadTransformCoefficients(trc.c_str(), c);
  EXPECT_EQ(read.Status, TransformFileStatus::Ok) << read.Reason;
  const vtkIdType n = c.Points->GetNumberOfPoints();
  EXPECT_EQ(n, static_cast<vtkIdType>(landmarks.size()));
  vtkNew<vtkPolyData> data;
  data->SetPoints(c.Points);
  vtkNew<vtkPointLocator> locator;
  locator->SetDataSet(data);
  locator->BuildLocator();
  vtkNew<vtkIdList> ids;
  const std::vector<float>* coeff[3] = { &c.CoeffX, &c.CoeffY, &c.CoeffZ };
  double worst = 0.0;
  for (vtkIdType i = 0; i < n; ++i)
  {
    double q[3];
    c.Points->GetPoint(i, q);
    locator->FindPointsWithinRadius(c.Radius, q, ids);
    for (int axis = 0; axis < 3; ++axis)
    {
      const std::vector<float>& k = *coeff[axis];
      double s = k[n] + k[n + 1] * q[0] + k[n + 2] * q[1] + k[n + 3] * q[2];
      for (vtkIdType m = 0; m < ids->GetNumberOfIds(); ++m)
      {
        double p[3];
        c.Points->GetPoint(ids->GetId(m), p);
        const double r = std::sqrt(vtkMath::Distance2BetweenPoints(p, q));
        if (r < c.Radius)
        {
          s += (1.0 - r / c.Radius) * (1.0 - r / c.Radius) * k[c.UnList[ids->GetId(m)]];
        }
      }
      const Landmark& l = landmarks[i];
      const double expected = static_cast<double>(
        static_cast<float>(l.Source[axis]) - static_cast<float>(l.Target[axis]));
      worst = std::max(worst, std::fabs(s - expected));
    }
  }
  return worst;
}
}

TEST(SparseFallback, AnEnvelopeBeyondTheAddressSpaceFitsThroughTheSparseSolve)
{
  if (SanitizerBuild())
  {
    GTEST_SKIP() << "a sanitizer's shadow memory does not fit under an address-space limit";
  }
  ScratchDirectory dir;
  const int n = 30000;
  const std::vector<Landmark> landmarks = SphereLandmarks(n);
  const float radius = static_cast<float>(SphereRadiusForNeighbours(n, 30.0));
  char radiusText[32];
  std::snprintf(radiusText, sizeof radiusText, "%.9g", radius);
  ASSERT_TRUE(WriteLandmarkFile(dir.File("sphere.dat"), landmarks));
  ASSERT_TRUE(WriteGridLandmarks(dir.File("small.dat"), 3));

  // The least address space Pravik needs for a small set, and 56 MiB more: plenty for the
  // sparse matrix (about 12 MB here), not for the envelope.
  const std::uint64_t start = StartingLimit({ PRAVIK_EXECUTABLE, dir.File("small.dat"), "0.25" });
  ASSERT_GT(start, 0u);
  const std::uint64_t limit = start + 56 * MiB;
  ASSERT_GT(EnvelopeBytes(dir.File("sphere.dat"), radius), static_cast<std::int64_t>(56 * MiB));

  ChildOptions limited;
  limited.AddressSpaceLimit = limit;
  const ChildRun sparse =
    RunChild({ PRAVIK_EXECUTABLE, dir.File("sphere.dat"), radiusText }, limited);
  ASSERT_TRUE(sparse.Exited && sparse.Status == PravikWritten) << sparse.Describe();
  EXPECT_EQ(sparse.Out, "");
  ASSERT_EQ(std::rename(dir.File("sphere.trc").c_str(), dir.File("sparse.trc").c_str()), 0);
  EXPECT_LE(WorstInterpolationError(dir.File("sparse.trc"), landmarks), 2e-5);

  // Without the limit the envelope fits: the same coefficients to 1e-4 (of their norm). The
  // envelope's factor is stored in single precision: on this many landmarks its coefficients
  // are that far from the double-precision solution; both interpolate alike.
  const ChildRun envelope =
    RunChild({ PRAVIK_EXECUTABLE, dir.File("sphere.dat"), radiusText }, ChildOptions());
  ASSERT_TRUE(envelope.Exited && envelope.Status == PravikWritten) << envelope.Describe();
  TransformCoefficients a;
  TransformCoefficients b;
  ASSERT_EQ(
    ReadTransformCoefficients(dir.File("sphere.trc").c_str(), a).Status, TransformFileStatus::Ok);
  ASSERT_EQ(
    ReadTransformCoefficients(dir.File("sparse.trc").c_str(), b).Status, TransformFileStatus::Ok);
  ASSERT_EQ(a.UnList, b.UnList);
  const std::vector<float>* ca[3] = { &a.CoeffX, &a.CoeffY, &a.CoeffZ };
  const std::vector<float>* cb[3] = { &b.CoeffX, &b.CoeffY, &b.CoeffZ };
  for (int axis = 0; axis < 3; ++axis)
  {
    ASSERT_EQ(ca[axis]->size(), cb[axis]->size());
    double difference = 0.0;
    double norm = 0.0;
    for (size_t k = 0; k < ca[axis]->size(); ++k)
    {
      const double d = static_cast<double>((*cb[axis])[k]) - (*ca[axis])[k];
      difference += d * d;
      norm += static_cast<double>((*ca[axis])[k]) * (*ca[axis])[k];
    }
    EXPECT_LE(std::sqrt(difference), 1e-4 * std::sqrt(norm)) << "axis " << axis;
  }
}
