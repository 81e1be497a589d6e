#include "leg_sample.h"

#include <vtkBMPWriter.h>
#include <vtkCellData.h>
#include <vtkFloatArray.h>
#include <vtkFlyingEdges3D.h>
#include <vtkIdList.h>
#include <vtkImageData.h>
#include <vtkNew.h>
#include <vtkPointData.h>
#include <vtkPointLocator.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkPolyDataNormals.h>
#include <vtkPolyDataWriter.h>
#include <vtkTriangleFilter.h>
#include <vtkWindowedSincPolyDataFilter.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <initializer_list>
#include <map>
#include <utility>

namespace legsample
{
namespace
{

constexpr double kPi = 3.14159265358979323846;
constexpr double kCentreZ = -0.213065;
constexpr double kHipX = -0.52;

// The leg's axis drifts slightly in y towards the foot; the centre line follows it so that
// the texture axis stays the leg's axis.
double CentreY(double x)
{
  const double f = (x - kAxisPoint1[0]) / (kAxisPoint2[0] - kAxisPoint1[0]);
  return kAxisPoint1[1] + f * (kAxisPoint2[1] - kAxisPoint1[1]);
}

// A C1 curve through knots (Catmull-Rom tangents on uneven knots), flat beyond the ends.
class Profile
{
public:
  Profile(std::initializer_list<std::pair<double, double>> knots)
    : Knots(knots)
  {
  }

  double operator()(double x) const
  {
    if (x <= this->Knots.front().first)
    {
      return this->Knots.front().second;
    }
    if (x >= this->Knots.back().first)
    {
      return this->Knots.back().second;
    }
    size_t i = 0;
    while (x > this->Knots[i + 1].first)
    {
      ++i;
    }
    const double x0 = this->Knots[i].first;
    const double x1 = this->Knots[i + 1].first;
    const double h = x1 - x0;
    const double t = (x - x0) / h;
    const double m0 = this->Slope(i) * h;
    const double m1 = this->Slope(i + 1) * h;
    const double y0 = this->Knots[i].second;
    const double y1 = this->Knots[i + 1].second;
    const double t2 = t * t;
    const double t3 = t2 * t;
    return (2 * t3 - 3 * t2 + 1) * y0 + (t3 - 2 * t2 + t) * m0 + (-2 * t3 + 3 * t2) * y1 +
      (t3 - t2) * m1;
  }

private:
  // Zero slope at the ends keeps the flat continuation smooth.
  double Slope(size_t i) const
  {
    if (i == 0 || i + 1 == this->Knots.size())
    {
      return 0.0;
    }
    return (this->Knots[i + 1].second - this->Knots[i - 1].second) /
      (this->Knots[i + 1].first - this->Knots[i - 1].first);
  }

  std::vector<std::pair<double, double>> Knots;
};

// Leg cross-sections along x: half width (y), and half depth in front (+z, shin and kneecap)
// and behind (-z, hamstrings and calf).
const Profile kLegHalfWidth({ { -0.52, 0.135 }, { -0.40, 0.126 }, { -0.20, 0.106 }, { 0.00, 0.087 },
  { 0.10, 0.080 }, { 0.155, 0.079 }, { 0.22, 0.077 }, { 0.32, 0.078 }, { 0.45, 0.069 },
  { 0.60, 0.054 }, { 0.75, 0.043 }, { 0.85, 0.042 }, { 0.92, 0.044 } });
const Profile kLegFront({ { -0.52, 0.122 }, { -0.40, 0.114 }, { -0.20, 0.096 }, { 0.00, 0.077 },
  { 0.09, 0.072 }, { 0.155, 0.076 }, { 0.22, 0.064 }, { 0.32, 0.056 }, { 0.45, 0.050 },
  { 0.60, 0.044 }, { 0.75, 0.039 }, { 0.85, 0.041 }, { 0.92, 0.040 } });
const Profile kLegBack({ { -0.52, 0.132 }, { -0.40, 0.126 }, { -0.20, 0.106 }, { 0.00, 0.082 },
  { 0.10, 0.072 }, { 0.155, 0.070 }, { 0.22, 0.084 }, { 0.32, 0.100 }, { 0.45, 0.084 },
  { 0.60, 0.058 }, { 0.75, 0.044 }, { 0.85, 0.046 }, { 0.92, 0.042 } });

// The foot points to +z from the ankle; along it (u = z - centre) its top, sole and half
// width.
const Profile kFootTop({ { -0.045, 0.905 }, { -0.01, 0.875 }, { 0.06, 0.872 }, { 0.14, 0.895 },
  { 0.20, 0.912 }, { 0.25, 0.918 } });
const Profile kFootSole(
  { { -0.045, 0.972 }, { 0.0, 0.978 }, { 0.07, 0.972 }, { 0.15, 0.979 }, { 0.25, 0.970 } });
const Profile kFootHalfWidth({ { -0.045, 0.040 }, { 0.00, 0.045 }, { 0.08, 0.054 }, { 0.16, 0.064 },
  { 0.22, 0.066 }, { 0.25, 0.062 } });

double SmoothMin(double a, double b, double k)
{
  const double h = std::clamp(0.5 + 0.5 * (b - a) / k, 0.0, 1.0);
  return b + (a - b) * h - k * h * (1.0 - h);
}

double SmoothMax(double a, double b, double k)
{
  return -SmoothMin(-a, -b, k);
}

// The solid and the pose are laid out with the leg's front facing +z; the sample is then
// turned a quarter turn about the leg's axis so that the front faces +y. The viewer starts
// looking along -z with +y up, and the knee and foot move towards the front, so in the
// finished files they move up the screen instead of towards the viewer. The turn is about
// the texture axis itself, which keeps that axis the leg's axis.
void TurnAboutAxis(const double in[3], double out[3], double sine)
{
  double d[3];
  double length = 0;
  for (int a = 0; a < 3; ++a)
  {
    d[a] = kAxisPoint2[a] - kAxisPoint1[a];
    length += d[a] * d[a];
  }
  length = std::sqrt(length);
  double v[3];
  double along = 0;
  for (int a = 0; a < 3; ++a)
  {
    d[a] /= length;
    v[a] = in[a] - kAxisPoint1[a];
    along += d[a] * v[a];
  }
  // A quarter turn: v along the axis stays, the rest turns to d x v (or its opposite).
  const double cross[3] = { d[1] * v[2] - d[2] * v[1], d[2] * v[0] - d[0] * v[2],
    d[0] * v[1] - d[1] * v[0] };
  for (int a = 0; a < 3; ++a)
  {
    out[a] = kAxisPoint1[a] + d[a] * along + sine * cross[a];
  }
}

// Front (+z) to up (+y).
void TurnFrontUp(const double in[3], double out[3])
{
  TurnAboutAxis(in, out, -1.0);
}

// Up (+y) back to front (+z).
void TurnUpToFront(const double in[3], double out[3])
{
  TurnAboutAxis(in, out, 1.0);
}

double LegTubeField(const double p[3])
{
  // The tube ends in a rounded cap inside the foot; at the hip it is cut flat.
  const double xc = std::clamp(p[0], -0.60, 0.90);
  const double v = p[1] - CentreY(p[0]);
  const double w = p[2] - kCentreZ;
  const double a = kLegHalfWidth(xc);
  const double b = w >= 0 ? kLegFront(xc) : kLegBack(xc);
  const double e = (p[0] - xc) / 0.04;
  const double rho = std::sqrt((v / a) * (v / a) + (w / b) * (w / b) + e * e);
  const double tube = (rho - 1.0) * std::min(a, b);
  return SmoothMax(tube, kHipX - p[0], 0.03);
}

double FootField(const double p[3])
{
  const double u = p[2] - kCentreZ;
  const double uc = std::clamp(u, -0.045, 0.25);
  const double top = kFootTop(uc);
  const double sole = kFootSole(uc);
  const double mid = 0.5 * (top + sole);
  const double half = 0.5 * (sole - top);
  const double width = kFootHalfWidth(uc);
  const double v = p[1] - CentreY(p[0]);
  // The heel is rounder than the toes.
  const double e = (u - uc) / (u < uc ? 0.04 : 0.045);
  const double rho =
    std::sqrt(((p[0] - mid) / half) * ((p[0] - mid) / half) + (v / width) * (v / width) + e * e);
  return (rho - 1.0) * std::min(half, width);
}

// Pose of the warp: hip flexion, knee flexion and ankle dorsiflexion as bends of the leg's
// centre line in the x-z plane, with smooth transitions so that the map stays smooth.
constexpr double kHipAngle = 30.0 * kPi / 180.0;
constexpr double kKneeAngle = -55.0 * kPi / 180.0;
constexpr double kKneeX = 0.155;
constexpr double kKneeWidth = 0.09;
constexpr double kAnkleAngle = 15.0 * kPi / 180.0;
constexpr double kAnkleX = 0.72;
constexpr double kAnkleWidth = 0.05;
constexpr double kHipJointX = -0.45;

double BendAngle(double x)
{
  return kHipAngle + kKneeAngle * 0.5 * (1.0 + std::tanh((x - kKneeX) / kKneeWidth)) +
    kAnkleAngle * 0.5 * (1.0 + std::tanh((x - kAnkleX) / kAnkleWidth));
}

// The bent centre line C(x) = C(hip joint) + integral of (cos a, sin a), tabulated once and
// interpolated with its exact derivative, which keeps it smooth and accurate.
class BentCentreLine
{
public:
  BentCentreLine()
  {
    const int n = static_cast<int>((kEnd - kBegin) / kStep + 0.5);
    this->X.resize(n + 1);
    this->Z.resize(n + 1);
    const int origin = static_cast<int>((kHipJointX - kBegin) / kStep + 0.5);
    this->X[origin] = kBegin + origin * kStep;
    this->Z[origin] = 0.0;
    for (int i = origin; i < n; ++i)
    {
      this->Integrate(i, i + 1);
    }
    for (int i = origin; i > 0; --i)
    {
      this->Integrate(i, i - 1);
    }
  }

  void Evaluate(double x, double& cx, double& cz) const
  {
    const double s = std::clamp((x - kBegin) / kStep, 0.0, static_cast<double>(this->X.size() - 1));
    const size_t i = std::min(static_cast<size_t>(s), this->X.size() - 2);
    const double t = s - static_cast<double>(i);
    const double x0 = kBegin + static_cast<double>(i) * kStep;
    const double a0 = BendAngle(x0);
    const double a1 = BendAngle(x0 + kStep);
    const double h00 = 2 * t * t * t - 3 * t * t + 1;
    const double h10 = t * t * t - 2 * t * t + t;
    const double h01 = -2 * t * t * t + 3 * t * t;
    const double h11 = t * t * t - t * t;
    cx = h00 * this->X[i] + h10 * kStep * std::cos(a0) + h01 * this->X[i + 1] +
      h11 * kStep * std::cos(a1);
    cz = h00 * this->Z[i] + h10 * kStep * std::sin(a0) + h01 * this->Z[i + 1] +
      h11 * kStep * std::sin(a1);
  }

private:
  static constexpr double kBegin = -1.0;
  static constexpr double kEnd = 1.5;
  static constexpr double kStep = 0.001;

  // Simpson's rule over one table step.
  void Integrate(int from, int to)
  {
    const double x0 = kBegin + from * kStep;
    const double x1 = kBegin + to * kStep;
    const double xm = 0.5 * (x0 + x1);
    const double h = (x1 - x0) / 6.0;
    this->X[to] = this->X[from] +
      h * (std::cos(BendAngle(x0)) + 4 * std::cos(BendAngle(xm)) + std::cos(BendAngle(x1)));
    this->Z[to] = this->Z[from] +
      h * (std::sin(BendAngle(x0)) + 4 * std::sin(BendAngle(xm)) + std::sin(BendAngle(x1)));
  }

  std::vector<double> X;
  std::vector<double> Z;
};

const BentCentreLine& CentreLine()
{
  static const BentCentreLine line;
  return line;
}

// A fixed pseudo-random sequence (SplitMix64), the same on every platform.
class Sequence
{
public:
  explicit Sequence(uint64_t seed)
    : State(seed)
  {
  }

  uint64_t Next()
  {
    uint64_t z = (this->State += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }

private:
  uint64_t State;
};

double RoundForFile(double value)
{
  // The landmark file stores six decimals; round the same way so that sources and targets
  // in memory are exactly what a reader of the file gets.
  char text[32];
  std::snprintf(text, sizeof(text), "%.6f", value);
  return std::strtod(text, nullptr);
}

bool IsSock(const double centre[3])
{
  // A band from the lower calf down to just above the ankle; a gentle wave at its top edge
  // reads as a knitted cuff rather than a cut.
  const double angle = std::atan2(centre[1] - CentreY(centre[0]), centre[2] - kCentreZ);
  const double top = 0.47 + 0.008 * std::cos(6.0 * angle);
  return centre[0] >= top && centre[0] <= 0.79;
}

void Put(vtkImageData* image, int i, int j, const double rgb[3])
{
  auto* pixel = static_cast<unsigned char*>(image->GetScalarPointer(i, j, 0));
  for (int c = 0; c < 3; ++c)
  {
    pixel[c] = static_cast<unsigned char>(std::lround(std::clamp(rgb[c], 0.0, 255.0)));
  }
}

vtkSmartPointer<vtkImageData> NewRgbImage(int width, int height)
{
  auto image = vtkSmartPointer<vtkImageData>::New();
  image->SetDimensions(width, height, 1);
  image->AllocateScalars(VTK_UNSIGNED_CHAR, 3);
  return image;
}

bool WriteBitmap(vtkImageData* image, const std::string& path, std::ostream& log)
{
  vtkNew<vtkBMPWriter> writer;
  writer->SetInputData(image);
  writer->SetFileName(path.c_str());
  writer->Write();
  if (writer->GetErrorCode() != 0)
  {
    log << "Cannot write " << path << "\n";
    return false;
  }
  return true;
}

double Distance(const double* a, const double* b)
{
  return std::sqrt(
    (a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) + (a[2] - b[2]) * (a[2] - b[2]));
}

double Kernel(double r, double radius)
{
  return r < radius ? (1.0 - r / radius) * (1.0 - r / radius) : 0.0;
}

} // namespace

//------------------------------------------------------------------------------
double LegField(const double p[3])
{
  double q[3];
  TurnUpToFront(p, q);
  return SmoothMin(LegTubeField(q), FootField(q), 0.03);
}

//------------------------------------------------------------------------------
vtkSmartPointer<vtkPolyData> BuildLeg()
{
  // Sample the solid on a grid and take its boundary; the grid step sets the point count.
  const double step = 0.006;
  const double origin[3] = { -0.56, -0.17, kCentreZ - 0.17 };
  const int dims[3] = { 264, 61, 85 };
  vtkNew<vtkImageData> grid;
  grid->SetDimensions(dims[0], dims[1], dims[2]);
  grid->SetOrigin(origin[0], origin[1], origin[2]);
  grid->SetSpacing(step, step, step);
  vtkNew<vtkFloatArray> field;
  field->SetNumberOfTuples(static_cast<vtkIdType>(dims[0]) * dims[1] * dims[2]);
  vtkIdType id = 0;
  for (int k = 0; k < dims[2]; ++k)
  {
    for (int j = 0; j < dims[1]; ++j)
    {
      for (int i = 0; i < dims[0]; ++i)
      {
        const double p[3] = { origin[0] + i * step, origin[1] + j * step, origin[2] + k * step };
        field->SetValue(id++, static_cast<float>(SmoothMin(LegTubeField(p), FootField(p), 0.03)));
      }
    }
  }
  grid->GetPointData()->SetScalars(field);

  vtkNew<vtkFlyingEdges3D> contour;
  contour->SetInputData(grid);
  contour->SetValue(0, 0.0);
  contour->ComputeNormalsOff();
  contour->ComputeGradientsOff();
  contour->ComputeScalarsOff();

  // Grid-aligned facets show as ripples in the shading; a low-pass smoothing removes them
  // without shrinking the shape.
  vtkNew<vtkWindowedSincPolyDataFilter> smooth;
  smooth->SetInputConnection(contour->GetOutputPort());
  smooth->SetNumberOfIterations(20);
  smooth->SetPassBand(0.05);
  smooth->NormalizeCoordinatesOn();
  smooth->BoundarySmoothingOff();
  smooth->FeatureEdgeSmoothingOff();
  smooth->NonManifoldSmoothingOn();

  // Consistent, outward-facing triangles; the normals themselves are not stored (the
  // viewer computes its own).
  vtkNew<vtkPolyDataNormals> orient;
  orient->SetInputConnection(smooth->GetOutputPort());
  orient->ConsistencyOn();
  orient->AutoOrientNormalsOn();
  orient->SplittingOff();
  orient->ComputeCellNormalsOff();
  vtkNew<vtkTriangleFilter> triangles;
  triangles->SetInputConnection(orient->GetOutputPort());
  triangles->Update();

  auto leg = vtkSmartPointer<vtkPolyData>::New();
  leg->SetPoints(triangles->GetOutput()->GetPoints());
  leg->SetPolys(triangles->GetOutput()->GetPolys());

  vtkNew<vtkFloatArray> region;
  region->SetName(kScalarName);
  region->SetNumberOfComponents(1);
  region->SetNumberOfTuples(leg->GetNumberOfCells());
  vtkNew<vtkIdList> ids;
  for (vtkIdType c = 0; c < leg->GetNumberOfCells(); ++c)
  {
    leg->GetCellPoints(c, ids);
    double centre[3] = { 0, 0, 0 };
    for (vtkIdType k = 0; k < ids->GetNumberOfIds(); ++k)
    {
      double q[3];
      leg->GetPoint(ids->GetId(k), q);
      for (int a = 0; a < 3; ++a)
      {
        centre[a] += q[a] / static_cast<double>(ids->GetNumberOfIds());
      }
    }
    region->SetValue(c, IsSock(centre) ? kTexturedScalar : kBodyScalar);
  }
  leg->GetCellData()->SetScalars(region);

  vtkPoints* points = leg->GetPoints();
  for (vtkIdType i = 0; i < points->GetNumberOfPoints(); ++i)
  {
    double p[3];
    double q[3];
    points->GetPoint(i, p);
    TurnFrontUp(p, q);
    points->SetPoint(i, q);
  }
  return leg;
}

//------------------------------------------------------------------------------
void Warp(const double turned[3], double out[3])
{
  double in[3];
  TurnUpToFront(turned, in);
  const double x = in[0];
  const double v = in[1] - CentreY(x);
  const double w = in[2] - kCentreZ;

  // The calf swells, more behind (where the muscle is) than in front.
  const double g = std::exp(-0.5 * ((x - 0.33) / 0.10) * ((x - 0.33) / 0.10));
  const double behind = 1.0 / (1.0 + std::exp(w / 0.06));
  const double sv = 1.0 + 0.10 * g;
  const double sw = 1.0 + 0.10 * g + 0.15 * g * behind;
  const double vs = v * sv;
  const double ws = w * sw;

  double cx = 0;
  double cz = 0;
  CentreLine().Evaluate(x, cx, cz);
  const double angle = BendAngle(x);
  const double posed[3] = { cx - ws * std::sin(angle), CentreY(x) + vs,
    kCentreZ + cz + ws * std::cos(angle) };
  TurnFrontUp(posed, out);
}

//------------------------------------------------------------------------------
std::vector<Landmark> PickLandmarks(vtkPolyData* leg, double spacing)
{
  // Dart throwing over the model's points in a fixed shuffled order: a point becomes a
  // landmark unless one is already closer than the spacing. The surface ends up covered
  // evenly, and every model point lies within the spacing of a landmark.
  std::vector<std::array<double, 3>> candidates(static_cast<size_t>(leg->GetNumberOfPoints()));
  for (vtkIdType i = 0; i < leg->GetNumberOfPoints(); ++i)
  {
    leg->GetPoint(i, candidates[static_cast<size_t>(i)].data());
  }
  Sequence random(20261207);
  for (size_t i = candidates.size(); i > 1; --i)
  {
    std::swap(candidates[i - 1], candidates[random.Next() % i]);
  }

  // Accepted sources in cells of the spacing's size: a candidate need only be checked
  // against the 27 cells around it.
  std::map<std::array<long, 3>, std::vector<std::array<double, 3>>> cells;
  auto cellOf = [spacing](const double q[3])
  {
    return std::array<long, 3>{ std::lround(std::floor(q[0] / spacing)),
      std::lround(std::floor(q[1] / spacing)), std::lround(std::floor(q[2] / spacing)) };
  };
  auto isFree = [&](const double q[3])
  {
    const std::array<long, 3> c = cellOf(q);
    for (long dx = -1; dx <= 1; ++dx)
      for (long dy = -1; dy <= 1; ++dy)
        for (long dz = -1; dz <= 1; ++dz)
        {
          auto found = cells.find({ c[0] + dx, c[1] + dy, c[2] + dz });
          if (found == cells.end())
          {
            continue;
          }
          for (const auto& other : found->second)
          {
            const double d2 = (other[0] - q[0]) * (other[0] - q[0]) +
              (other[1] - q[1]) * (other[1] - q[1]) + (other[2] - q[2]) * (other[2] - q[2]);
            if (d2 < spacing * spacing)
            {
              return false;
            }
          }
        }
    return true;
  };

  std::vector<Landmark> landmarks;
  for (const auto& p : candidates)
  {
    Landmark landmark;
    for (int a = 0; a < 3; ++a)
    {
      landmark.Source[static_cast<size_t>(a)] = RoundForFile(p[a]);
    }
    if (!isFree(landmark.Source.data()))
    {
      continue;
    }
    cells[cellOf(landmark.Source.data())].push_back(landmark.Source);
    double target[3];
    Warp(landmark.Source.data(), target);
    for (int a = 0; a < 3; ++a)
    {
      landmark.Target[static_cast<size_t>(a)] = RoundForFile(target[a]);
    }
    landmarks.push_back(landmark);
  }
  // Along the leg, so that a file read in order is easy to follow.
  std::stable_sort(landmarks.begin(), landmarks.end(),
    [](const Landmark& a, const Landmark& b) { return a.Source[0] < b.Source[0]; });
  return landmarks;
}

//------------------------------------------------------------------------------
// The full system [Phi P^T; P 0] [c; d] = [f; 0] for the three axes at once, by Gaussian
// elimination with partial pivoting.
std::vector<std::array<double, 3>> FitSpline(const std::vector<Landmark>& landmarks, double radius)
{
  const size_t n = landmarks.size();
  const size_t m = n + 4;
  std::vector<double> a(m * m, 0.0);
  std::vector<std::array<double, 3>> rhs(m, { 0.0, 0.0, 0.0 });
  for (size_t i = 0; i < n; ++i)
  {
    const double* p = landmarks[i].Source.data();
    for (size_t j = 0; j < n; ++j)
    {
      a[i * m + j] = Kernel(Distance(p, landmarks[j].Source.data()), radius);
    }
    const double row[4] = { 1.0, p[0], p[1], p[2] };
    for (size_t k = 0; k < 4; ++k)
    {
      a[i * m + n + k] = row[k];
      a[(n + k) * m + i] = row[k];
    }
    for (size_t axis = 0; axis < 3; ++axis)
    {
      rhs[i][axis] = landmarks[i].Source[axis] - landmarks[i].Target[axis];
    }
  }
  for (size_t col = 0; col < m; ++col)
  {
    size_t pivot = col;
    for (size_t r = col + 1; r < m; ++r)
    {
      if (std::fabs(a[r * m + col]) > std::fabs(a[pivot * m + col]))
      {
        pivot = r;
      }
    }
    if (pivot != col)
    {
      std::swap_ranges(a.begin() + static_cast<long>(col * m),
        a.begin() + static_cast<long>(col * m + m), a.begin() + static_cast<long>(pivot * m));
      std::swap(rhs[col], rhs[pivot]);
    }
    for (size_t r = col + 1; r < m; ++r)
    {
      const double f = a[r * m + col] / a[col * m + col];
      if (f == 0.0)
      {
        continue;
      }
      for (size_t k = col; k < m; ++k)
      {
        a[r * m + k] -= f * a[col * m + k];
      }
      for (size_t axis = 0; axis < 3; ++axis)
      {
        rhs[r][axis] -= f * rhs[col][axis];
      }
    }
  }
  for (size_t col = m; col-- > 0;)
  {
    for (size_t axis = 0; axis < 3; ++axis)
    {
      double s = rhs[col][axis];
      for (size_t k = col + 1; k < m; ++k)
      {
        s -= a[col * m + k] * rhs[k][axis];
      }
      rhs[col][axis] = s / a[col * m + col];
    }
  }
  return rhs;
}

//------------------------------------------------------------------------------
void Deform(const std::vector<Landmark>& landmarks,
  const std::vector<std::array<double, 3>>& coefficients, double radius, const double p[3],
  double out[3])
{
  const size_t n = landmarks.size();
  double s[3] = { 0, 0, 0 };
  bool supported = false;
  for (size_t k = 0; k < n; ++k)
  {
    const double r = Distance(p, landmarks[k].Source.data());
    if (r <= radius)
    {
      supported = true;
      const double w = Kernel(r, radius);
      for (size_t a = 0; a < 3; ++a)
      {
        s[a] += w * coefficients[k][a];
      }
    }
  }
  for (size_t a = 0; a < 3; ++a)
  {
    const double affine = coefficients[n][a] + coefficients[n + 1][a] * p[0] +
      coefficients[n + 2][a] * p[1] + coefficients[n + 3][a] * p[2];
    out[a] = supported ? p[a] - s[a] - affine : p[a];
  }
}

//------------------------------------------------------------------------------
std::string FormatLandmark(const Landmark& landmark)
{
  char line[128];
  std::snprintf(line, sizeof(line), "%.6f %.6f %.6f %.6f %.6f %.6f\n", landmark.Source[0],
    landmark.Source[1], landmark.Source[2], landmark.Target[0], landmark.Target[1],
    landmark.Target[2]);
  return line;
}

//------------------------------------------------------------------------------
vtkSmartPointer<vtkImageData> MakeTexture()
{
  // Argyle: alternating diamonds on a cream ground, crossed by thin gold lines, with a
  // faint rib. Around the leg the texture spans half the circumference, along it the whole
  // leg, so the diamonds are drawn wide and flat to come out tall on the sock.
  const int size = kTextureSize;
  auto image = NewRgbImage(size, size);
  const double cream[3] = { 236, 228, 208 };
  const double navy[3] = { 32, 52, 110 };
  const double berry[3] = { 150, 30, 60 };
  const double gold[3] = { 222, 170, 40 };
  const int cellWidth = 64;
  const int cellHeight = 16;
  for (int j = 0; j < size; ++j)
  {
    for (int i = 0; i < size; ++i)
    {
      const double u = ((i % cellWidth) + 0.5 - cellWidth / 2.0) / (cellWidth / 2.0);
      const double v = ((j % cellHeight) + 0.5 - cellHeight / 2.0) / (cellHeight / 2.0);
      const bool odd = ((i / cellWidth) + (j / cellHeight)) % 2 == 1;
      const double* colour = cream;
      if (std::fabs(u) + std::fabs(v) <= 1.0)
      {
        colour = odd ? berry : navy;
      }
      if (std::fabs(std::fabs(u) - std::fabs(v)) < 0.09)
      {
        colour = gold;
      }
      const double rib = 0.9 + 0.1 * std::cos(2.0 * kPi * i / 4.0);
      const double rgb[3] = { colour[0] * rib, colour[1] * rib, colour[2] * rib };
      Put(image, i, j, rgb);
    }
  }
  return image;
}

//------------------------------------------------------------------------------
vtkSmartPointer<vtkImageData> MakeBackground()
{
  // A studio backdrop: dark blue at the top fading to grey-blue, a floor below the horizon
  // and a few blurred lights. Image rows run bottom-up.
  const int width = kBackgroundWidth;
  const int height = kBackgroundHeight;
  auto image = NewRgbImage(width, height);
  const double top[3] = { 18, 28, 64 };
  const double horizon[3] = { 120, 140, 170 };
  const double floorNear[3] = { 70, 66, 62 };
  const double floorFar[3] = { 140, 134, 126 };
  const int horizonRow = height * 3 / 10;
  struct Light
  {
    double X, Y, Radius, Strength;
  };
  const Light lights[] = { { 110, 390, 46, 70 }, { 250, 430, 28, 55 }, { 480, 360, 60, 60 },
    { 585, 440, 22, 80 }, { 360, 300, 34, 40 } };
  for (int j = 0; j < height; ++j)
  {
    for (int i = 0; i < width; ++i)
    {
      double rgb[3];
      if (j >= horizonRow)
      {
        const double f = static_cast<double>(j - horizonRow) / (height - 1 - horizonRow);
        for (int c = 0; c < 3; ++c)
        {
          rgb[c] = horizon[c] + (top[c] - horizon[c]) * std::sqrt(f);
        }
        for (const Light& light : lights)
        {
          const double d = std::hypot(i - light.X, j - light.Y) / light.Radius;
          const double glow = light.Strength * std::exp(-d * d);
          rgb[0] += glow;
          rgb[1] += glow * 0.95;
          rgb[2] += glow * 0.8;
        }
      }
      else
      {
        const double f = static_cast<double>(j) / horizonRow;
        for (int c = 0; c < 3; ++c)
        {
          rgb[c] = floorNear[c] + (floorFar[c] - floorNear[c]) * f;
        }
        // Floor boards converging to the horizon.
        const double x = (i - width / 2.0) / (1.0 - 0.85 * f);
        if (std::fabs(std::fmod(std::fabs(x) + 40.0, 80.0) - 40.0) > 38.5)
        {
          for (double& c : rgb)
          {
            c *= 0.8;
          }
        }
      }
      Put(image, i, j, rgb);
    }
  }
  return image;
}

//------------------------------------------------------------------------------
bool WriteSample(const std::string& directory, std::ostream& log)
{
  vtkSmartPointer<vtkPolyData> leg = BuildLeg();
  const std::string model = directory + "/leg.vtk";
  vtkNew<vtkPolyDataWriter> writer;
  writer->SetInputData(leg);
  writer->SetFileName(model.c_str());
  writer->SetFileTypeToASCII();
  // The classic layout, which every legacy reader understands.
  writer->SetFileVersion(vtkDataWriter::VTK_LEGACY_READER_VERSION_4_2);
  writer->SetHeader("Leg lying along x, hip to foot, front up; cell scalar 1 skin, 0 sock");
  if (writer->Write() != 1)
  {
    log << "Cannot write " << model << "\n";
    return false;
  }

  const std::vector<Landmark> landmarks = PickLandmarks(leg, kLandmarkSpacing);
  const std::string datName = directory + "/leg.dat";
  std::ofstream dat(datName, std::ios::binary);
  for (const Landmark& landmark : landmarks)
  {
    dat << FormatLandmark(landmark);
  }
  dat.close();
  if (!dat)
  {
    log << "Cannot write " << datName << "\n";
    return false;
  }

  if (!WriteBitmap(MakeTexture(), directory + "/leg.bmp", log) ||
    !WriteBitmap(MakeBackground(), directory + "/background.bmp", log))
  {
    return false;
  }

  vtkIdType sock = 0;
  auto* region = vtkFloatArray::SafeDownCast(leg->GetCellData()->GetScalars());
  for (vtkIdType c = 0; c < region->GetNumberOfTuples(); ++c)
  {
    sock += region->GetValue(c) <= 0.0f ? 1 : 0;
  }
  // How many landmarks share each one's support, and how far the model reaches from them.
  vtkNew<vtkPoints> sources;
  for (const Landmark& landmark : landmarks)
  {
    sources->InsertNextPoint(landmark.Source.data());
  }
  vtkNew<vtkPolyData> sourceSet;
  sourceSet->SetPoints(sources);
  vtkNew<vtkPointLocator> locator;
  locator->SetDataSet(sourceSet);
  locator->BuildLocator();
  vtkNew<vtkIdList> near;
  vtkIdType fewest = VTK_ID_MAX;
  vtkIdType most = 0;
  double total = 0;
  for (const Landmark& landmark : landmarks)
  {
    locator->FindPointsWithinRadius(kRadius, landmark.Source.data(), near);
    const vtkIdType others = near->GetNumberOfIds() - 1;
    fewest = std::min(fewest, others);
    most = std::max(most, others);
    total += static_cast<double>(others);
  }
  double farthest = 0;
  for (vtkIdType i = 0; i < leg->GetNumberOfPoints(); ++i)
  {
    double p[3];
    double d2 = 0;
    leg->GetPoint(i, p);
    const double* q = sources->GetPoint(locator->FindClosestPoint(p));
    for (int a = 0; a < 3; ++a)
    {
      d2 += (p[a] - q[a]) * (p[a] - q[a]);
    }
    farthest = std::max(farthest, std::sqrt(d2));
  }

  log << "leg.vtk: " << leg->GetNumberOfPoints() << " points, " << leg->GetNumberOfCells()
      << " triangles (" << sock << " in the sock)\n"
      << "leg.dat: " << landmarks.size() << " landmarks for radius " << kRadius
      << "; others within the radius of each: " << fewest << " to " << most << ", mean "
      << total / static_cast<double>(landmarks.size()) << "; model points at most " << farthest
      << " from a landmark\n";
  return true;
}

} // namespace legsample
