#include "CameraStatus.h"

#include "system.h"

#include <vtkCamera.h>

#include <climits>
#include <cmath>
#include <cstring>

namespace
{
const float DefaultValues[CameraStatus::NumberOfSlots] = {
  0.0f, 0.0f, 1.0f, // position
  0.0f, 0.0f, 0.0f, // focal point
  0.0f, 1.0f, 0.0f, // view up
  2.0f,             // distance
  0.0f,             // roll
  0.0f,             // parallel projection
  30.0f,            // view angle
  1.0f,             // parallel scale
  0.1f, 1000.0f,    // clipping range
  1.0f,             // thickness
  0.0f, 0.0f,       // window center
  90.0f, 45.0f,     // reserved
  0.0f,             // eye angle
  0.0f,             // focal disk
};

// Slot 11 holds a flag; any value a file may carry must turn into an int without overflow.
int TruncateToInt(float value)
{
  const double truncated = std::trunc(static_cast<double>(value));
  if (!(truncated > static_cast<double>(INT_MIN)))
  {
    return INT_MIN;
  }
  if (!(truncated < static_cast<double>(INT_MAX)))
  {
    return INT_MAX;
  }
  return static_cast<int>(truncated);
}
}

//------------------------------------------------------------------------------
CameraStatus::CameraStatus(CCriticalSection& cameraLock)
  : CameraLock(cameraLock)
{
  this->SetDefaults();
}

//------------------------------------------------------------------------------
CameraStatus::CameraStatus(vtkCamera* camera, CCriticalSection& cameraLock)
  : CameraLock(cameraLock)
{
  this->SetDefaults();
  this->Capture(camera);
}

//------------------------------------------------------------------------------
void CameraStatus::SetDefaults()
{
  std::memcpy(this->Values, DefaultValues, sizeof(this->Values));
}

//------------------------------------------------------------------------------
void CameraStatus::Capture(vtkCamera* camera)
{
  if (!camera)
  {
    return;
  }
  CCriticalSectionLock hold(this->CameraLock);
  float* v = this->Values;
  auto store3 = [](float* slots, const double* xyz)
  {
    slots[0] = static_cast<float>(xyz[0]);
    slots[1] = static_cast<float>(xyz[1]);
    slots[2] = static_cast<float>(xyz[2]);
  };
  store3(v + 0, camera->GetPosition());
  store3(v + 3, camera->GetFocalPoint());
  store3(v + 6, camera->GetViewUp());
  v[9] = static_cast<float>(camera->GetDistance());
  v[10] = static_cast<float>(camera->GetRoll());
  v[11] = static_cast<float>(camera->GetParallelProjection());
  v[12] = static_cast<float>(camera->GetViewAngle());
  v[13] = static_cast<float>(camera->GetParallelScale());
  const double* range = camera->GetClippingRange();
  v[14] = static_cast<float>(range[0]);
  v[15] = static_cast<float>(range[1]);
  v[16] = static_cast<float>(camera->GetThickness());
  const double* center = camera->GetWindowCenter();
  v[17] = static_cast<float>(center[0]);
  v[18] = static_cast<float>(center[1]);
  v[21] = static_cast<float>(camera->GetEyeAngle());
  v[22] = static_cast<float>(camera->GetFocalDisk());
}

//------------------------------------------------------------------------------
void CameraStatus::Apply(vtkCamera* camera) const
{
  if (!camera)
  {
    return;
  }
  CCriticalSectionLock hold(this->CameraLock);
  const float* v = this->Values;
  camera->SetPosition(v[0], v[1], v[2]);
  camera->SetFocalPoint(v[3], v[4], v[5]);
  camera->SetViewUp(v[6], v[7], v[8]);
  camera->SetDistance(v[9]);
  camera->SetRoll(v[10]);
  camera->SetParallelProjection(TruncateToInt(v[11]));
  camera->SetViewAngle(v[12]);
  camera->SetParallelScale(v[13]);
  camera->SetClippingRange(v[14], v[15]);
  camera->SetThickness(v[16]);
  camera->SetWindowCenter(v[17], v[18]);
  camera->SetEyeAngle(v[21]);
  camera->SetFocalDisk(v[22]);
}

//------------------------------------------------------------------------------
void CameraStatus::CopyValues(const CameraStatus& other)
{
  std::memcpy(this->Values, other.Values, sizeof(this->Values));
}

//------------------------------------------------------------------------------
bool CameraStatus::Write(std::FILE* file, int ticks, const CameraStatus* previous) const
{
  if (!file)
  {
    return false;
  }
  bool write[NumberOfSlots];
  int count = 0;
  for (int i = 0; i < NumberOfSlots; ++i)
  {
    write[i] = !previous || this->Values[i] != previous->Values[i];
    if (write[i])
    {
      if (!std::isfinite(this->Values[i]))
      {
        return false;
      }
      ++count;
    }
  }
  if (count == 0)
  {
    return true;
  }
  if (std::fprintf(file, "[%d] %d ", ticks, count) < 0)
  {
    return false;
  }
  for (int i = 0; i < NumberOfSlots; ++i)
  {
    if (write[i] && std::fprintf(file, "%d %f ", i, static_cast<double>(this->Values[i])) < 0)
    {
      return false;
    }
  }
  return std::fputs("\n", file) >= 0;
}

//------------------------------------------------------------------------------
bool CameraStatus::Read(std::FILE* file, int& ticks)
{
  if (!file)
  {
    return false;
  }
  int delay = 0;
  int count = 0;
  if (std::fscanf(file, "[%d] %d ", &delay, &count) < 2 || count < 0)
  {
    return false;
  }
  // The line is taken whole or not at all.
  float values[NumberOfSlots];
  std::memcpy(values, this->Values, sizeof(values));
  for (int k = 0; k < count; ++k)
  {
    int slot = -1;
    float value = 0.0f;
    if (std::fscanf(file, "%d %f ", &slot, &value) < 2 || slot < 0 || slot >= NumberOfSlots ||
      !std::isfinite(value))
    {
      return false;
    }
    values[slot] = value;
  }
  // The blank after the last pair has consumed the line end, if there was one.
  std::memcpy(this->Values, values, sizeof(values));
  ticks = delay;
  return true;
}
