#include "ShapeTransformTesting.h"

#include "vtkShapeTransform.h"

#include "vtkObjectFactory.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>
#include <stdexcept>

namespace shape_testing
{

vtkStandardNewMacro(CountingLocator);

void CountingLocator::FindPointsWithinRadius(double R, const double x[3], vtkIdList* result)
{
  ++this->Count;
  this->Superclass::FindPointsWithinRadius(R, x, result);
}

void Spline::BuildLocator()
{
  this->Data->SetPoints(this->Points);
  this->Locator = vtkSmartPointer<CountingLocator>::New();
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
      const long double terms[4] = { ca[n], ca[n + 1] * static_cast<long double>(x[0]),
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

namespace
{
// Solves A x = b for several right-hand sides by Gaussian elimination with partial pivoting.
void DenseSolve(std::vector<std::vector<long double>>& A, std::vector<std::vector<long double>>& b)
{
  const size_t m = A.size();
  for (size_t col = 0; col < m; ++col)
  {
    size_t pivot = col;
    for (size_t r = col + 1; r < m; ++r)
    {
      if (std::fabs(A[r][col]) > std::fabs(A[pivot][col]))
      {
        pivot = r;
      }
    }
    if (A[pivot][col] == 0)
    {
      throw std::runtime_error("singular spline system");
    }
    std::swap(A[col], A[pivot]);
    for (auto& rhs : b)
    {
      std::swap(rhs[col], rhs[pivot]);
    }
    for (size_t r = col + 1; r < m; ++r)
    {
      const long double f = A[r][col] / A[col][col];
      if (f == 0)
      {
        continue;
      }
      for (size_t c = col; c < m; ++c)
      {
        A[r][c] -= f * A[col][c];
      }
      for (auto& rhs : b)
      {
        rhs[r] -= f * rhs[col];
      }
    }
  }
  for (auto& rhs : b)
  {
    for (size_t r = m; r-- > 0;)
    {
      long double sum = rhs[r];
      for (size_t c = r + 1; c < m; ++c)
      {
        sum -= A[r][c] * rhs[c];
      }
      rhs[r] = sum / A[r][r];
    }
  }
}
}

Spline DenseFit(vtkPoints* sources, vtkPoints* targets, float radius, unsigned seed)
{
  const vtkIdType n = sources->GetNumberOfPoints();
  const size_t m = static_cast<size_t>(n) + 4;
  std::vector<std::vector<long double>> A(m, std::vector<long double>(m, 0.0L));
  std::vector<std::vector<long double>> b(3, std::vector<long double>(m, 0.0L));
  for (vtkIdType i = 0; i < n; ++i)
  {
    double p[3], q[3];
    sources->GetPoint(i, p);
    targets->GetPoint(i, q);
    for (vtkIdType j = 0; j < n; ++j)
    {
      double pj[3];
      sources->GetPoint(j, pj);
      long double r2 = 0;
      for (int a = 0; a < 3; ++a)
      {
        r2 += (static_cast<long double>(p[a]) - pj[a]) * (static_cast<long double>(p[a]) - pj[a]);
      }
      const long double r = std::sqrt(r2);
      A[i][j] = r < radius ? (1.0L - r / radius) * (1.0L - r / radius) : 0.0L;
    }
    const long double affine[4] = { 1.0L, p[0], p[1], p[2] };
    for (int a = 0; a < 4; ++a)
    {
      A[i][n + a] = affine[a];
      A[n + a][i] = affine[a];
    }
    for (int a = 0; a < 3; ++a)
    {
      b[a][i] = static_cast<long double>(p[a]) - q[a];
    }
  }
  DenseSolve(A, b);

  Spline s;
  s.Radius = radius;
  s.Points->DeepCopy(sources);
  std::mt19937 rng(seed);
  s.UnList = RandomOrdering(static_cast<int>(n), rng);
  std::vector<float>* c[3] = { &s.X, &s.Y, &s.Z };
  for (int a = 0; a < 3; ++a)
  {
    c[a]->resize(m);
    for (vtkIdType i = 0; i < n; ++i)
    {
      (*c[a])[s.UnList[i]] = static_cast<float>(b[a][i]);
    }
    for (int k = 0; k < 4; ++k)
    {
      (*c[a])[n + k] = static_cast<float>(b[a][n + k]);
    }
  }
  s.BuildLocator();
  return s;
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
