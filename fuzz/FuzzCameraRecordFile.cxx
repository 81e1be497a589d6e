// Camera record files (".csr") come from the user's disk. Every byte sequence is read the
// way playback reads it, line by line into one record and through the reader thread's
// procedure into a queue; what is accepted must be finite, must agree between the two roads,
// must survive being applied to a camera, and must write back into a line that reads again.
#include "CameraStatus.h"
#include "CameraStatusQueue.h"
#include "FuzzInput.h"
#include "RecordThreads.h"
#include "system.h"

#include <vtkCamera.h>
#include <vtkNew.h>
#include <vtkObject.h>

#include <array>
#include <cmath>
#include <cstring>
#include <vector>

namespace
{
using Slots = std::array<float, CameraStatus::NumberOfSlots>;

Slots SlotsOf(const CameraStatus& status)
{
  Slots s;
  for (int i = 0; i < CameraStatus::NumberOfSlots; ++i)
  {
    s[i] = status.GetValue(i);
  }
  return s;
}

bool SameBits(const Slots& a, const Slots& b)
{
  return std::memcmp(a.data(), b.data(), sizeof(float) * a.size()) == 0;
}

struct Line
{
  Slots Values;
  int Ticks;
};

// Reads the whole input with CameraStatus::Read, as the playback reader does.
std::vector<Line> ReadDirectly(CCriticalSection& lock)
{
  std::vector<Line> lines;
  std::FILE* file = fuzzinput::Open();
  CameraStatus status(lock);
  for (;;)
  {
    const Slots before = SlotsOf(status);
    int ticks = -12345;
    if (!status.Read(file, ticks))
    {
      fuzzinput::Check(SameBits(before, SlotsOf(status)), "a refused line changed the record");
      fuzzinput::Check(ticks == -12345, "a refused line handed out a delay");
      break;
    }
    const Slots after = SlotsOf(status);
    for (float v : after)
    {
      fuzzinput::Check(std::isfinite(v), "an accepted line left a value that is not finite");
    }
    lines.push_back({ after, ticks });
  }
  std::fclose(file);
  return lines;
}

// The reader thread's procedure, run on this thread over an unbounded queue.
std::vector<Line> ReadThroughReaderThread(CCriticalSection& lock)
{
  std::vector<Line> lines;
  std::FILE* file = fuzzinput::Open();
  CameraStatusQueue queue(0, 1);
  RecordReaderThread(new RecordReaderParameters{ file, &queue, &lock });
  std::fclose(file);
  fuzzinput::Check(queue.IsStopped(), "the reader ended without stopping the queue");
  while (QueueNode* node = queue.Get())
  {
    lines.push_back({ SlotsOf(*node->Status), node->Ticks });
    delete node;
  }
  return lines;
}

// A record written as the first line of a file reads back within the precision of "%f".
void CheckWritesBack(const Slots& values, CCriticalSection& lock)
{
  CameraStatus status(lock);
  for (int i = 0; i < CameraStatus::NumberOfSlots; ++i)
  {
    status.SetValue(i, values[i]);
  }
  const std::string& path = fuzzinput::ScratchPath();
  std::FILE* out = std::fopen(path.c_str(), "w");
  fuzzinput::Check(status.Write(out, 7, nullptr), "a finite record could not be written");
  std::fclose(out);
  std::FILE* in = std::fopen(path.c_str(), "r");
  CameraStatus back(lock);
  int ticks = 0;
  fuzzinput::Check(back.Read(in, ticks) && ticks == 7, "a written record did not read back");
  std::fclose(in);
  for (int i = 0; i < CameraStatus::NumberOfSlots; ++i)
  {
    const double v = values[i];
    const double tolerance = 5e-7 + std::fabs(v) * 1.2e-7;
    fuzzinput::Check(
      std::fabs(back.GetValue(i) - v) <= tolerance, "a value drifted on its way back");
  }
}
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
  // Hostile values make the camera complain (a zero view-up, a reversed range): VTK's
  // messages are expected here and would only slow the run down.
  vtkObject::GlobalWarningDisplayOff();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  static CCriticalSection lock;
  fuzzinput::Store(data, size);

  const std::vector<Line> direct = ReadDirectly(lock);
  const std::vector<Line> threaded = ReadThroughReaderThread(lock);
  fuzzinput::Check(
    direct.size() == threaded.size(), "the reader thread read another number of lines");
  for (size_t i = 0; i < direct.size(); ++i)
  {
    fuzzinput::Check(
      SameBits(direct[i].Values, threaded[i].Values) && direct[i].Ticks == threaded[i].Ticks,
      "the reader thread read another record");
  }

  vtkNew<vtkCamera> camera;
  for (const Line& line : direct)
  {
    CameraStatus status(lock);
    for (int i = 0; i < CameraStatus::NumberOfSlots; ++i)
    {
      status.SetValue(i, line.Values[i]);
    }
    status.Apply(camera);
  }
  if (!direct.empty())
  {
    CheckWritesBack(direct.back().Values, lock);
  }
  return 0;
}
