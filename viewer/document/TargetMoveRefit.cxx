#include "TargetMoveRefit.h"

#include "LandmarkFrame.h"
#include "TransformFile.h"

#include <vtkPoints.h>

#include <algorithm>

namespace
{
vtkSmartPointer<vtkPoints> CopyOf(vtkPoints* points)
{
  auto copy = vtkSmartPointer<vtkPoints>::New();
  copy->SetDataTypeToDouble();
  copy->DeepCopy(points);
  return copy;
}

bool SamePoints(vtkPoints* a, vtkPoints* b)
{
  if (!a || !b || a->GetNumberOfPoints() != b->GetNumberOfPoints())
  {
    return false;
  }
  for (vtkIdType i = 0; i < a->GetNumberOfPoints(); ++i)
  {
    double p[3];
    double q[3];
    a->GetPoint(i, p);
    b->GetPoint(i, q);
    if (p[0] != q[0] || p[1] != q[1] || p[2] != q[2])
    {
      return false;
    }
  }
  return true;
}
}

//------------------------------------------------------------------------------
void TargetMoveRefit::SetBase(vtkPoints* sources, vtkPoints* targets, double radius,
  double smoothing, std::shared_ptr<const TransformCoefficients> coefficients)
{
  if (!sources || !targets || !coefficients)
  {
    this->Clear();
    return;
  }
  if (!this->Base || radius != this->Radius || smoothing != this->Smoothing ||
    !SamePoints(sources, this->Sources))
  {
    this->Responses.clear(); // the kernel system changed: the responses with it
    this->Sources = CopyOf(sources);
    const LandmarkFrame frame(this->Sources);
    std::copy_n(frame.GetOrigin(), 3, this->Origin);
  }
  this->Targets = CopyOf(targets);
  this->Radius = radius;
  this->Smoothing = smoothing;
  this->Base = std::move(coefficients);
}

//------------------------------------------------------------------------------
void TargetMoveRefit::Clear()
{
  this->Base.reset();
  this->Sources = nullptr;
  this->Targets = nullptr;
  this->Responses.clear();
}

//------------------------------------------------------------------------------
vtkIdType TargetMoveRefit::Moved(vtkPoints* targets) const
{
  vtkIdType moved = -1;
  for (vtkIdType i = 0; i < targets->GetNumberOfPoints(); ++i)
  {
    double p[3];
    double q[3];
    targets->GetPoint(i, p);
    this->Targets->GetPoint(i, q);
    if (p[0] != q[0] || p[1] != q[1] || p[2] != q[2])
    {
      if (moved >= 0)
      {
        return -1; // two moved: no single response serves
      }
      moved = i;
    }
  }
  return moved;
}

//------------------------------------------------------------------------------
vtkIdType TargetMoveRefit::MovedTarget(
  vtkPoints* sources, vtkPoints* targets, double radius, double smoothing) const
{
  if (!this->Base || !targets || radius != this->Radius || smoothing != this->Smoothing ||
    targets->GetNumberOfPoints() != this->Targets->GetNumberOfPoints() ||
    !SamePoints(sources, this->Sources))
  {
    return -1;
  }
  return this->Moved(targets);
}

//------------------------------------------------------------------------------
const TargetMoveRefit::Response* TargetMoveRefit::Find(vtkIdType i) const
{
  for (const Response& response : this->Responses)
  {
    if (response.Landmark == i)
    {
      return &response;
    }
  }
  return nullptr;
}

//------------------------------------------------------------------------------
bool TargetMoveRefit::HasResponse(vtkIdType i) const
{
  return this->Find(i) != nullptr;
}

//------------------------------------------------------------------------------
void TargetMoveRefit::ResponseTargets(
  vtkPoints* sources, vtkIdType i, double step, vtkPoints* targets)
{
  targets->SetDataTypeToDouble();
  targets->DeepCopy(sources);
  double p[3];
  sources->GetPoint(i, p);
  p[0] -= step;
  targets->SetPoint(i, p);
}

//------------------------------------------------------------------------------
void TargetMoveRefit::SetResponse(
  vtkIdType i, std::shared_ptr<const TransformCoefficients> coefficients)
{
  if (!this->Base || !coefficients || coefficients->UnList != this->Base->UnList ||
    coefficients->CoeffX.size() != this->Base->CoeffX.size() ||
    coefficients->Constants.size() != this->Base->Constants.size())
  {
    return; // not a fit of the base's kernel system
  }
  this->Responses.erase(std::remove_if(this->Responses.begin(), this->Responses.end(),
                          [i](const Response& r) { return r.Landmark == i; }),
    this->Responses.end());
  this->Responses.push_back(Response{ i, std::move(coefficients) });
  while (this->Responses.size() > KeptResponses)
  {
    this->Responses.pop_front();
  }
}

//------------------------------------------------------------------------------
std::shared_ptr<const TransformCoefficients> TargetMoveRefit::Apply(vtkPoints* targets) const
{
  if (!this->Base || !targets || targets->GetNumberOfPoints() != this->Targets->GetNumberOfPoints())
  {
    return nullptr;
  }
  auto fitted = std::make_shared<TransformCoefficients>(*this->Base);
  const vtkIdType moved = this->Moved(targets);
  if (moved < 0)
  {
    // Nothing moved gives the base itself; more than one moved is not ours to answer.
    return SamePoints(targets, this->Targets) ? fitted : nullptr;
  }
  const Response* response = this->Find(moved);
  if (!response)
  {
    return nullptr;
  }
  const TransformCoefficients& unit = *response->Coefficients;
  double now[3];
  double before[3];
  targets->GetPoint(moved, now);
  this->Targets->GetPoint(moved, before);
  // b = source - target: moving the target by d changes b by -d; the response was fitted
  // to b = step at the landmark, along x.
  std::vector<float>* axes[3] = { &fitted->CoeffX, &fitted->CoeffY, &fitted->CoeffZ };
  const std::vector<float>* baseAxes[3] = { &this->Base->CoeffX, &this->Base->CoeffY,
    &this->Base->CoeffZ };
  const size_t n = fitted->CoeffX.size() - 4;
  for (int a = 0; a < 3; ++a)
  {
    const double scale = -(now[a] - before[a]) / this->ResponseStep();
    std::vector<float>& axis = *axes[a];
    for (size_t k = 0; k < axis.size(); ++k)
    {
      axis[k] = static_cast<float>(axis[k] + scale * unit.CoeffX[k]);
    }
    if (!fitted->Constants.empty())
    {
      // Far from the origin the constant term, c - A o, lives in double precision and cancels
      // against A x: it is moved in the fit's own frame and taken out again with the factors
      // A as now rounded, as the fit itself does.
      const auto inFrame = [this](double constant, const float* factors)
      {
        return constant + factors[0] * this->Origin[0] + factors[1] * this->Origin[1] +
          factors[2] * this->Origin[2];
      };
      const double shifted = inFrame(this->Base->Constants[a], &(*baseAxes[a])[n + 1]) +
        scale * inFrame(unit.Constants[0], &unit.CoeffX[n + 1]);
      fitted->Constants[a] = shifted -
        (axis[n + 1] * this->Origin[0] + axis[n + 2] * this->Origin[1] +
          axis[n + 3] * this->Origin[2]);
      axis[n] = static_cast<float>(fitted->Constants[a]);
    }
  }
  return fitted;
}
