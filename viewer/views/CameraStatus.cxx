#include "CameraStatus.h"

#include "NumberText.h"
#include "system.h"

#include <vtkCamera.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <string>

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

/**
 * Reads a record line from a stream item by item, as scanf would with the line's formats:
 * a number skips the white space before it, and ends where the decimal grammar ends (the
 * character after it stays in the stream). Numbers are converted in the "C" conventions,
 * integers with a check of their range.
 */
class RecordLineReader
{
public:
  explicit RecordLineReader(std::FILE* file)
    : File(file)
  {
  }

  void SkipSpace()
  {
    int c;
    while ((c = std::getc(this->File)) != EOF && NumberText::IsSpace(static_cast<char>(c)))
    {
    }
    this->PutBack(c);
  }

  bool Literal(char expected)
  {
    const int c = std::getc(this->File);
    if (c != static_cast<unsigned char>(expected))
    {
      this->PutBack(c);
      return false;
    }
    return true;
  }

  /// Whether the item just read ends here: white space or the end of the file follows. A
  /// number followed by anything else (such as "0,5") is malformed, not a shorter number.
  bool AtSeparator()
  {
    const int c = std::getc(this->File);
    this->PutBack(c);
    return c == EOF || NumberText::IsSpace(static_cast<char>(c));
  }

  /// An integer within the int range.
  bool Int(int& value)
  {
    std::string token;
    const char* p = token.c_str();
    return this->Token(token) && NumberText::ReadInt(p = token.c_str(), value) == Number &&
      *p == '\0';
  }

  /// A finite number within the float range.
  bool Float(float& value)
  {
    std::string token;
    const char* p = token.c_str();
    return this->Token(token) && NumberText::ReadFloat(p = token.c_str(), value) == Number &&
      *p == '\0';
  }

private:
  /// The white space before a number, then the characters that can still make one; a number
  /// cut short (such as "1e") is then refused by the conversion as a whole. False for a run
  /// longer than any number worth reading.
  bool Token(std::string& token)
  {
    this->SkipSpace();
    int c;
    while ((c = std::getc(this->File)) != EOF &&
      NumberText::ExtendsNumber(token, static_cast<char>(c)))
    {
      if (token.size() == MaxTokenLength)
      {
        return false;
      }
      token += static_cast<char>(c);
    }
    this->PutBack(c);
    return true;
  }

  void PutBack(int c)
  {
    if (c != EOF)
    {
      std::ungetc(c, this->File);
    }
  }

  static constexpr std::size_t MaxTokenLength = 4096;
  static constexpr NumberText::Scan Number = NumberText::Scan::Number;

  std::FILE* File;
};
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
  // "[%d] %d " and "%d %f " pairs, put together in the "C" conventions and written whole.
  std::string line = "[";
  NumberText::AppendInt(line, ticks);
  line += "] ";
  NumberText::AppendInt(line, count);
  line += ' ';
  for (int i = 0; i < NumberOfSlots; ++i)
  {
    if (write[i])
    {
      NumberText::AppendInt(line, i);
      line += ' ';
      NumberText::AppendFixed(line, static_cast<double>(this->Values[i]));
      line += ' ';
    }
  }
  line += '\n';
  // After a failed write the stream may report later ones as done: its error flag tells.
  return std::fwrite(line.data(), 1, line.size(), file) == line.size() && !std::ferror(file);
}

//------------------------------------------------------------------------------
bool CameraStatus::Read(std::FILE* file, int& ticks)
{
  if (!file)
  {
    return false;
  }
  // "[%d] %d ": the delay, then the pair count.
  RecordLineReader in(file);
  int delay = 0;
  int count = 0;
  if (!in.Literal('[') || !in.Int(delay) || !in.Literal(']') || !in.Int(count) ||
    !in.AtSeparator() || count < 0 || delay < 0 || delay > MaxRecordDelay)
  {
    return false;
  }
  in.SkipSpace();
  // The line is taken whole or not at all.
  float values[NumberOfSlots];
  std::memcpy(values, this->Values, sizeof(values));
  for (int k = 0; k < count; ++k)
  {
    int slot = -1;
    float value = 0.0f;
    if (!in.Int(slot) || !in.AtSeparator() || !in.Float(value) || !in.AtSeparator() || slot < 0 ||
      slot >= NumberOfSlots)
    {
      return false;
    }
    in.SkipSpace();
    values[slot] = value;
  }
  // The blank after the last pair has consumed the line end, if there was one.
  std::memcpy(this->Values, values, sizeof(values));
  ticks = delay;
  return true;
}
