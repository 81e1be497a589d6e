// Camera record files (".csr") come from the user's disk. Every byte sequence is read the
// way playback reads it, line by line into one record and through the reader thread's
// procedure into a queue; what is accepted must be finite, must agree between the two roads,
// must survive being applied to a camera, must write back into a line that reads again, and
// must play to its end: the view's tick counting, real-time and frame by frame, reaches the
// last record within the ticks its delays add up to.
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
#include <cstdint>
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

// An int operation as the view's atomic counters do it: wrapping, never undefined.
int Wrapped(long long value)
{
  return static_cast<int>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(value)));
}

// Plays the delays as the view's timer procedure counts them and checks that the playback
// ends within the ticks they add up to (each delay at most MaxRecordDelay).
void CheckPlaybackEnds(const std::vector<Line>& lines, int ticksPerStep)
{
  if (lines.empty())
  {
    return;
  }
  long long budget = 2;
  for (const Line& line : lines)
  {
    fuzzinput::Check(line.Ticks >= 0 && line.Ticks <= MaxRecordDelay,
      "an accepted delay lies outside what the writer makes");
    budget += line.Ticks + 1;
  }
  // Real time: one tick per call, records due in the same tick applied together.
  size_t next = 1;
  int remaining = lines[0].Ticks;
  bool playing = true;
  long long calls = 0;
  for (; playing && calls <= budget; ++calls)
  {
    remaining = Wrapped(static_cast<long long>(remaining) - 1);
    while (playing && remaining <= 0)
    {
      playing = next < lines.size();
      remaining = playing ? lines[next++].Ticks : remaining;
    }
  }
  fuzzinput::Check(!playing, "a real-time playback does not reach its end");
  // Frame by frame: a tick budget of ticksPerStep per frame.
  next = 1;
  remaining = lines[0].Ticks;
  int accumulated = ticksPerStep;
  playing = true;
  for (calls = 0; playing && calls <= 2 * budget; ++calls)
  {
    const bool step = accumulated <= remaining;
    if (remaining <= accumulated)
    {
      accumulated = Wrapped(static_cast<long long>(accumulated) - remaining);
      playing = next < lines.size();
      remaining = playing ? lines[next++].Ticks : remaining;
    }
    if (step)
    {
      remaining = Wrapped(static_cast<long long>(remaining) - ticksPerStep);
      accumulated = ticksPerStep;
    }
  }
  fuzzinput::Check(!playing, "a frame-by-frame playback does not reach its end");
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
  // The options dialog's animation speeds give 1 to 11 ticks per step.
  CheckPlaybackEnds(direct, size > 0 ? 1 + data[0] % 11 : 6);
  return 0;
}
