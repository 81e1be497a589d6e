#include "ShapeTransformTesting.h"

#include "LandmarkGrid.h"
#include "vtkNew.h"
#include "vtkObjectFactory.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>

namespace shape_testing
{

vtkStandardNewMacro(ProbedTransform);

int ProbedTransform::InverseSteps(const double y[3], double x[3], double* residual)
{
  this->Update();
  return this->SolveInverse(y, x, this->GetFactor(), residual);
}

double ProbedTransform::GridCells() const
{
  return this->Grid ? static_cast<double>(this->Grid->GetNumberOfCells()) : 0.0;
}

void Spline::BuildLocator()
{
  this->Data->SetPoints(this->Points);
  this->Locator = vtkSmartPointer<vtkPointLocator>::New();
  this->Locator->SetDataSet(this->Data);
  if (this->N() > 0)
  {
    this->Locator->BuildLocator();
  }
}

void Spline::HandTo(vtkShapeTransform* transform)
{
  transform->SetParameters(this->Radius, this->Points, this->X.data(), this->Y.data(),
    this->Z.data(), this->UnList.data(), this->Locator);
}

namespace
{
std::vector<int> RandomOrdering(int n, std::mt19937& rng)
{
  std::vector<int> list(n);
  std::iota(list.begin(), list.end(), 0);
  std::shuffle(list.begin(), list.end(), rng);
  std::vector<int> unList(n);
  for (int k = 0; k < n; ++k)
  {
    unList[list[k]] = k;
  }
  return unList;
}
}

Spline RandomSpline(int n, float radius, unsigned seed, double lo, double hi, double amp)
{
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> where(lo, hi);
  std::uniform_real_distribution<double> coeff(-amp, amp);
  Spline s;
  s.Radius = radius;
  for (int i = 0; i < n; ++i)
  {
    s.Points->InsertNextPoint(where(rng), where(rng), where(rng));
  }
  for (auto* c : { &s.X, &s.Y, &s.Z })
  {
    c->resize(n + 4);
    for (auto& v : *c)
    {
      v = static_cast<float>(coeff(rng));
    }
  }
  s.UnList = RandomOrdering(n, rng);
  s.BuildLocator();
  return s;
}

vtkSmartPointer<vtkPoints> RandomPoints(
  vtkIdType n, unsigned seed, double lo, double hi, int dataType)
{
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> where(lo, hi);
  auto points = vtkSmartPointer<vtkPoints>::New();
  points->SetDataType(dataType);
  for (vtkIdType i = 0; i < n; ++i)
  {
    points->InsertNextPoint(where(rng), where(rng), where(rng));
  }
  return points;
}

Displacement ReferenceDisplacement(const Spline& s, const double x[3])
{
  Displacement out;
  const long double R = s.Radius;
  const vtkIdType n = s.N();
  const std::vector<float>* c[3] = { &s.X, &s.Y, &s.Z };
  for (vtkIdType k = 0; k < n; ++k)
  {
    double p[3];
    s.Points->GetPoint(k, p);
    long double r2 = 0;
    for (int a = 0; a < 3; ++a)
    {
      const long double diff = static_cast<long double>(p[a]) - x[a];
      r2 += diff * diff;
    }
    if (r2 > R * R)
    {
      continue;
    }
    ++out.Neighbors;
    const long double q = 1.0L - std::sqrt(r2) / R;
    for (int a = 0; a < 3; ++a)
    {
      const long double term = q * q * (*c[a])[s.UnList[k]];
      out.D[a] += term;
      out.Magnitude[a] += std::fabs(term);
    }
  }
  if (out.Neighbors > 0)
  {
    for (int a = 0; a < 3; ++a)
    {
      const std::vector<float>& ca = *c[a];
      const long double constant = s.Constants.size() == 3 ? s.Constants[a] : ca[n];
      const long double terms[4] = { constant, ca[n + 1] * static_cast<long double>(x[0]),
        ca[n + 2] * static_cast<long double>(x[1]), ca[n + 3] * static_cast<long double>(x[2]) };
      for (long double term : terms)
      {
        out.D[a] += term;
        out.Magnitude[a] += std::fabs(term);
      }
    }
  }
  return out;
}

vtkSmartPointer<vtkPoints> Evaluate(vtkShapeTransform* transform, vtkPoints* in)
{
  auto out = vtkSmartPointer<vtkPoints>::New();
  out->SetDataTypeToFloat();
  transform->TransformPoints(in, out);
  return out;
}

double WorstDeviation(
  const Spline& s, vtkPoints* in, vtkPoints* out, float factor, bool cachedRounding)
{
  constexpr long double halfUlp = 1.0L / (1 << 24); // relative, single precision
  constexpr long double doubleError = 1e-15L;       // relative to the magnitudes summed
  double worst = 0.0;
  for (vtkIdType i = 0; i < in->GetNumberOfPoints(); ++i)
  {
    double x[3], y[3];
    in->GetPoint(i, x);
    out->GetPoint(i, y);
    const Displacement d = ReferenceDisplacement(s, x);
    for (int a = 0; a < 3; ++a)
    {
      const long double expected = x[a] - factor * d.D[a];
      long double tol = halfUlp * std::fabs(expected) +
        doubleError * (std::fabs(x[a]) + std::fabs(factor) * d.Magnitude[a]) + 1e-30L;
      if (cachedRounding)
      {
        tol += std::fabs(factor) * halfUlp * std::fabs(d.D[a]);
      }
      worst = std::max(worst, static_cast<double>(std::fabs(y[a] - expected) / tol));
    }
  }
  return worst;
}

}
