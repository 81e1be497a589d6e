// Recording and playback worker threads: queue to file, file to queue, with real threads.
#include "CameraStatusQueue.h"
#include "RecordTestUtils.h"
#include "RecordThreads.h"
#include "system.h"

#include <vtkCamera.h>
#include <vtkMatrix4x4.h>
#include <vtkNew.h>

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

namespace
{
using recordtest::CountedStatus;
using recordtest::ReadAll;
using recordtest::TempFile;
using recordtest::WriteAll;

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

struct Capture
{
  CameraStatus* Status; // handed to the queue
  int Stamp;
};

// Records the captures as the view does: the writer thread runs on the open file while
// this thread puts the captures, then the queue is stopped and the writer waited for.
unsigned RecordThroughWriter(const std::string& path, CameraStatus& reference,
  CCriticalSection& lock, const std::vector<Capture>& captures)
{
  std::FILE* file = std::fopen(path.c_str(), "w");
  EXPECT_NE(file, nullptr);
  CameraStatusQueue queue(0, 1);
  CWorkerThread writer;
  EXPECT_TRUE(writer.Start(
    RecordWriterThread, new RecordWriterParameters{ file, &queue, &reference, &lock }));
  for (const Capture& c : captures)
  {
    auto* node = new QueueNode(c.Status, c.Stamp);
    if (!queue.Put(node))
    {
      delete node;
    }
  }
  queue.Stop();
  const unsigned result = writer.Wait();
  std::fclose(file);
  return result;
}

struct Played
{
  Slots Values;
  int Delay;
};

// Plays a file as the view does: the reader thread fills a queue of capacity 10 and this
// thread takes the records until the reader has stopped the queue.
std::vector<Played> PlayThroughReader(const std::string& path, CCriticalSection& lock)
{
  std::vector<Played> played;
  std::FILE* file = std::fopen(path.c_str(), "r");
  EXPECT_NE(file, nullptr);
  if (!file)
  {
    return played;
  }
  CameraStatusQueue queue(10, 1);
  CWorkerThread reader;
  EXPECT_TRUE(reader.Start(RecordReaderThread, new RecordReaderParameters{ file, &queue, &lock }));
  while (QueueNode* node = queue.Get())
  {
    EXPECT_LE(queue.GetCount(), 10);
    EXPECT_EQ(&node->Status->GetCameraLock(), &lock);
    played.push_back({ SlotsOf(*node->Status), node->Ticks });
    delete node;
  }
  EXPECT_EQ(reader.Wait(), 0u);
  std::fclose(file);
  return played;
}

std::vector<double> CameraState(vtkCamera* camera)
{
  std::vector<double> s;
  vtkMatrix4x4* view = camera->GetViewTransformMatrix();
  for (int i = 0; i < 4; ++i)
  {
    for (int j = 0; j < 4; ++j)
    {
      s.push_back(view->GetElement(i, j));
    }
  }
  for (const double* v : { camera->GetPosition(), camera->GetFocalPoint() })
  {
    s.insert(s.end(), v, v + 3);
  }
  s.push_back(camera->GetParallelProjection());
  s.push_back(camera->GetViewAngle());
  s.push_back(camera->GetParallelScale());
  s.push_back(camera->GetEyeAngle());
  s.push_back(camera->GetFocalDisk());
  s.push_back(camera->GetWindowCenter()[0]);
  s.push_back(camera->GetClippingRange()[1]);
  return s;
}

std::vector<std::string> Lines(const std::string& text)
{
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
  {
    lines.push_back(text.substr(start, end - start + 1));
  }
  if (start < text.size())
  {
    lines.push_back(text.substr(start));
  }
  return lines;
}

const char* const DefaultLine =
  "[1] 23 0 0.000000 1 0.000000 2 1.000000 3 0.000000 4 0.000000 5 0.000000 6 0.000000 "
  "7 1.000000 8 0.000000 9 2.000000 10 0.000000 11 0.000000 12 30.000000 13 1.000000 "
  "14 0.100000 15 1000.000000 16 1.000000 17 0.000000 18 0.000000 19 90.000000 "
  "20 45.000000 21 0.000000 22 0.000000 \n";
} // namespace

//------------------------------------------------------------------------------
TEST(RecordTickDelay, CountsOverTheWrap)
{
  EXPECT_EQ(RecordTickDelay(49990, 5), 15);
  EXPECT_EQ(RecordTickDelay(100, 100), 0);
  EXPECT_EQ(RecordTickDelay(100, 112), 12);
  EXPECT_EQ(RecordTickDelay(49999, 0), 1);
  EXPECT_EQ(RecordTickDelay(0, 49999), 49999);
  EXPECT_EQ(RecordTickDelay(1, 0), 49999);
}

//------------------------------------------------------------------------------
// Identical captures give no line, and the next delay counts from the skipped capture;
// captures in one tick are 0 apart; 49990 to 5 is 15 ticks.
TEST(RecordWriter, WritesChangesWithDelaysFromTheCaptureBefore)
{
  CCriticalSection lock;
  CameraStatus reference(lock);
  auto make = [&](std::initializer_list<std::pair<int, float>> changes, const CameraStatus* from)
  {
    auto* s = new CameraStatus(lock);
    if (from)
    {
      s->CopyValues(*from);
    }
    for (const auto& c : changes)
    {
      s->SetValue(c.first, c.second);
    }
    return s;
  };
  CameraStatus* a = make({ { 0, 1.5f } }, nullptr);
  CameraStatus* b = make({ { 0, 2.5f }, { 1, -1.0f } }, a);
  CameraStatus* bAgain = make({}, b);
  CameraStatus* c = make({ { 3, 4.0f } }, b);
  CameraStatus* d = make({ { 22, 0.25f } }, c);
  Slots last = SlotsOf(*d);
  const std::string path = TempFile("changes.csr");
  EXPECT_EQ(RecordThroughWriter(path, reference, lock,
              { { a, 49980 }, { b, 49985 }, { bAgain, 49990 }, { c, 49990 }, { d, 5 } }),
    0u);
  EXPECT_EQ(ReadAll(path),
    std::string(DefaultLine) +
      "[1] 1 0 1.500000 \n"
      "[5] 2 0 2.500000 1 -1.000000 \n"
      "[0] 1 3 4.000000 \n"
      "[15] 1 22 0.250000 \n");
  // The reference holds the last written state.
  EXPECT_EQ(SlotsOf(reference), last);
  std::remove(path.c_str());
}

//------------------------------------------------------------------------------
TEST(RecordWriter, NothingCapturedGivesTheStartingCameraAlone)
{
  CCriticalSection lock;
  vtkNew<vtkCamera> camera;
  camera->Azimuth(30.0);
  CameraStatus reference(camera, lock);
  const std::string path = TempFile("empty.csr");
  EXPECT_EQ(RecordThroughWriter(path, reference, lock, {}), 0u);
  const std::vector<std::string> lines = Lines(ReadAll(path));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].rfind("[1] 23 0 ", 0), 0u) << lines[0];
  std::remove(path.c_str());
}

//------------------------------------------------------------------------------
// A file that cannot be written: the writer stops the queue, the next Put is refused, and
// every record is deleted by whoever ends up holding it.
TEST(RecordWriter, FailedFirstWriteStopsTheQueue)
{
  CCriticalSection lock;
  CountedStatus::Live = 0;
  const std::string path = TempFile("readonly.csr");
  WriteAll(path, "");
  std::FILE* file = std::fopen(path.c_str(), "r");
  ASSERT_NE(file, nullptr);
  CameraStatus reference(lock);
  CameraStatusQueue queue(0, 1);
  CWorkerThread writer;
  ASSERT_TRUE(writer.Start(
    RecordWriterThread, new RecordWriterParameters{ file, &queue, &reference, &lock }));
  EXPECT_EQ(writer.Wait(), 1u);
  EXPECT_TRUE(queue.IsStopped());
  auto* node = new QueueNode(new CountedStatus(lock), 0);
  EXPECT_FALSE(queue.Put(node));
  delete node;
  EXPECT_EQ(CountedStatus::Live.load(), 0);
  std::fclose(file);
  std::remove(path.c_str());
}

namespace
{
// A stream that takes the first Limit bytes and then reports every write as failed.
struct LimitedSink
{
  size_t Limit;
  std::string Taken;
};

ssize_t LimitedWrite(void* cookie, const char* data, size_t size)
{
  auto* sink = static_cast<LimitedSink*>(cookie);
  if (sink->Taken.size() + size > sink->Limit)
  {
    return -1;
  }
  sink->Taken.append(data, size);
  return static_cast<ssize_t>(size);
}
} // namespace

TEST(RecordWriter, WriteFailingMidwayEndsTheRecordingAndFreesEverything)
{
  CCriticalSection lock;
  CountedStatus::Live = 0;
  LimitedSink sink{ std::string(DefaultLine).size() + 60, {} };
  cookie_io_functions_t io{};
  io.write = LimitedWrite;
  std::FILE* file = fopencookie(&sink, "w", io);
  ASSERT_NE(file, nullptr);
  std::setvbuf(file, nullptr, _IONBF, 0);

  CameraStatus reference(lock);
  CameraStatusQueue queue(0, 1);
  CWorkerThread writer;
  ASSERT_TRUE(writer.Start(
    RecordWriterThread, new RecordWriterParameters{ file, &queue, &reference, &lock }));
  // Put as the view does until the queue refuses: the writer has given up.
  int accepted = 0;
  for (int i = 0; i < 100000; ++i)
  {
    auto* status = new CountedStatus(lock, i);
    status->SetValue(0, static_cast<float>(i) + 0.5f);
    auto* node = new QueueNode(status, i);
    if (!queue.Put(node))
    {
      delete node;
      break;
    }
    ++accepted;
  }
  EXPECT_LT(accepted, 100000) << "the queue never refused a capture";
  EXPECT_EQ(writer.Wait(), 1u);
  std::fclose(file);
  EXPECT_EQ(queue.GetCount(), 0);
  EXPECT_EQ(CountedStatus::Live.load(), 0);
  // What did reach the file are whole lines.
  ASSERT_GE(sink.Taken.size(), std::string(DefaultLine).size());
  EXPECT_EQ(sink.Taken.substr(0, std::string(DefaultLine).size()), DefaultLine);
  // The reference holds the last state that was written in full; the failing line may
  // have left a part behind.
  const std::vector<std::string> lines = Lines(sink.Taken);
  int whole = 0;
  for (const std::string& line : lines)
  {
    whole += line.back() == '\n' ? 1 : 0;
  }
  EXPECT_GE(whole, 2);
  EXPECT_EQ(reference.GetValue(0), static_cast<float>(whole - 2) + 0.5f);
}

//------------------------------------------------------------------------------
TEST(RecordReader, PlaysEdgeCasesOfTheFormat)
{
  CCriticalSection lock;
  const std::string path = TempFile("edges.csr");
  WriteAll(path,
    std::string(DefaultLine) +
      "[12] 2 0 0.500000 2 3.250000 \n"
      "[3] 0 \n"
      "[0] 2 19 7.000000 20 8.000000 \n"
      "[4] 1 11 0.700000 ");
  const std::vector<Played> played = PlayThroughReader(path, lock);
  ASSERT_EQ(played.size(), 5u);
  const CameraStatus defaults(lock);
  EXPECT_EQ(played[0].Values, SlotsOf(defaults));
  EXPECT_EQ(played[0].Delay, 1);
  EXPECT_EQ(played[1].Delay, 12);
  EXPECT_EQ(played[1].Values[0], 0.5f);
  EXPECT_EQ(played[1].Values[2], 3.25f);
  // "[3] 0": the record before, due 3 ticks later.
  EXPECT_EQ(played[2].Values, played[1].Values);
  EXPECT_EQ(played[2].Delay, 3);
  // Slots 19 and 20 are stored ...
  EXPECT_EQ(played[3].Values[19], 7.0f);
  EXPECT_EQ(played[3].Values[20], 8.0f);
  EXPECT_EQ(played[3].Delay, 0);
  // ... the last line, without its line end, is played, and 0.7 turns projection off.
  EXPECT_EQ(played[4].Delay, 4);
  EXPECT_FLOAT_EQ(played[4].Values[11], 0.7f);
  EXPECT_EQ(played[4].Values[19], 7.0f);

  CameraStatus last(lock);
  for (int i = 0; i < CameraStatus::NumberOfSlots; ++i)
  {
    last.SetValue(i, played[4].Values[i]);
  }
  vtkNew<vtkCamera> camera;
  camera->SetParallelProjection(1);
  last.Apply(camera);
  EXPECT_EQ(camera->GetParallelProjection(), 0);
  // ... while 19 and 20 leave the camera as the record without them would.
  CameraStatus plain(lock);
  plain.CopyValues(last);
  plain.SetValue(19, 90.0f);
  plain.SetValue(20, 45.0f);
  vtkNew<vtkCamera> other;
  plain.Apply(other);
  EXPECT_EQ(CameraState(camera), CameraState(other));
  std::remove(path.c_str());
}

//------------------------------------------------------------------------------
TEST(RecordReader, MalformedLineEndsThePlaybackData)
{
  CCriticalSection lock;
  const struct
  {
    const char* text;
    size_t records;
  } files[] = {
    { "[5] 1 0 1.000000 \n[6] 1 23 1.000000 \n[7] 1 0 3.000000 \n", 1 },
    { "[5] 1 0 1.000000 \n[6] 1 -4 1.000000 \n[7] 1 0 3.000000 \n", 1 },
    { "[5] 1 0 1.000000 \n[6] -2 0 1.000000 \n[7] 1 0 3.000000 \n", 1 },
    { "[5] 1 0 1.000000 \n[6] 1 0 nan \n[7] 1 0 3.000000 \n", 1 },
    { "[5] 1 0 1.000000 \n[6] 1 0 -inf \n[7] 1 0 3.000000 \n", 1 },
    { "[5] 1 0 1.000000 \n[6] 2 0 2.000000 \n[7] 1 0 3.000000 \n", 1 },
    { "[5] 1 0 1.000000 \n[6] 1 1 2.000000 \n[7] 1 0 3.000000 \n", 3 },
    { "garbage\n[5] 1 0 1.000000 \n", 0 },
    { "", 0 },
    { "\n\n\n", 0 },
  };
  for (const auto& f : files)
  {
    const std::string path = TempFile("malformed.csr");
    WriteAll(path, f.text);
    const std::vector<Played> played = PlayThroughReader(path, lock);
    EXPECT_EQ(played.size(), f.records) << "file: " << f.text;
    if (!played.empty())
    {
      EXPECT_EQ(played[0].Values[0], 1.0f);
      EXPECT_EQ(played[0].Values[1], 0.0f) << "defaults under the first line";
    }
    std::remove(path.c_str());
  }
}

//------------------------------------------------------------------------------
// The consumer stops playback while the reader waits for room: the reader ends and the
// records still queued go with the queue.
TEST(RecordReader, StopByTheConsumerEndsTheReader)
{
  CCriticalSection lock;
  const std::string path = TempFile("long.csr");
  std::string text = DefaultLine;
  for (int i = 0; i < 500; ++i)
  {
    text += "[1] 1 0 " + std::to_string(i) + ".000000 \n";
  }
  WriteAll(path, text);
  std::FILE* file = std::fopen(path.c_str(), "r");
  ASSERT_NE(file, nullptr);
  auto queue = std::make_unique<CameraStatusQueue>(10, 1);
  CWorkerThread reader;
  ASSERT_TRUE(
    reader.Start(RecordReaderThread, new RecordReaderParameters{ file, queue.get(), &lock }));
  for (int i = 0; i < 3; ++i)
  {
    QueueNode* node = queue->Get();
    ASSERT_NE(node, nullptr);
    delete node;
  }
  ASSERT_TRUE(recordtest::WaitFor([&] { return queue->GetCount() == 10; }));
  queue->Stop();
  EXPECT_EQ(reader.Wait(), 0u);
  EXPECT_EQ(queue->GetCount(), 10);
  // What the reader did not get to stays in the file.
  EXPECT_FALSE(std::feof(file));
  queue.reset();
  std::fclose(file);
  std::remove(path.c_str());
}

//------------------------------------------------------------------------------
// A camera moved through a path (with repeated and same-tick captures and the tick wrap),
// recorded by the writer thread and played back by the reader thread: every distinct
// captured state comes back, with the delays between the captures.
TEST(RecordRoundTrip, PlaybackReproducesEveryCapturedCameraState)
{
  CCriticalSection lock;
  vtkNew<vtkCamera> camera;
  camera->SetPosition(1.0, 2.0, 8.0);
  camera->SetFocalPoint(0.25, -0.5, 0.0);
  CameraStatus reference(camera, lock);
  const Slots start = SlotsOf(reference);

  std::mt19937 random(2024);
  std::vector<Capture> captures;
  struct Expected
  {
    Slots Values;
    int Delay;
    std::vector<double> State;
  };
  std::vector<Expected> expected;
  Slots lastWritten = start;
  int stamp = 49700;
  for (int k = 0; k < 800; ++k)
  {
    const int step = static_cast<int>(random() % 8);
    switch (step)
    {
      case 0:
        break; // the camera did not move: an identical capture
      case 1:
        camera->Azimuth(2.5);
        break;
      case 2:
        camera->Elevation(1.25);
        camera->OrthogonalizeViewUp();
        break;
      case 3:
        camera->Roll(3.0);
        break;
      case 4:
        camera->Dolly(1.01);
        break;
      case 5:
        camera->SetParallelProjection(!camera->GetParallelProjection());
        break;
      case 6:
        camera->SetEyeAngle(camera->GetEyeAngle() + 0.5);
        camera->SetFocalDisk(camera->GetFocalDisk() + 0.125);
        break;
      default:
        camera->Zoom(1.02);
        camera->SetWindowCenter(0.001 * k, -0.002 * k);
        break;
    }
    const int gap = static_cast<int>(random() % 4 == 0 ? 0 : random() % 40);
    stamp = (stamp + gap) % 50000;
    auto* status = new CameraStatus(camera, lock);
    captures.push_back({ status, stamp });
    const Slots values = SlotsOf(*status);
    if (values != lastWritten)
    {
      expected.push_back({ values, k == 0 ? 1 : gap, CameraState(camera) });
      lastWritten = values;
    }
  }
  ASSERT_GT(expected.size(), 500u);

  const std::string path = TempFile("path.csr");
  ASSERT_EQ(RecordThroughWriter(path, reference, lock, captures), 0u);
  EXPECT_EQ(SlotsOf(reference), lastWritten);
  EXPECT_EQ(Lines(ReadAll(path)).size(), expected.size() + 1);

  const std::vector<Played> played = PlayThroughReader(path, lock);
  ASSERT_EQ(played.size(), expected.size() + 1);
  auto close = [](float got, float want)
  { return std::fabs(static_cast<double>(got) - want) <= 5e-7 + 1.2e-7 * std::fabs(want); };
  for (int i = 0; i < CameraStatus::NumberOfSlots; ++i)
  {
    EXPECT_PRED2(close, played[0].Values[i], start[i]) << "slot " << i;
  }
  EXPECT_EQ(played[0].Delay, 1);
  for (size_t r = 0; r < expected.size(); ++r)
  {
    const Played& p = played[r + 1];
    EXPECT_EQ(p.Delay, expected[r].Delay) << "record " << r;
    for (int i = 0; i < CameraStatus::NumberOfSlots; ++i)
    {
      if (!close(p.Values[i], expected[r].Values[i]))
      {
        ADD_FAILURE() << "record " << r << " slot " << i << ": " << p.Values[i] << " vs "
                      << expected[r].Values[i];
      }
    }
  }

  // Applied to a camera, each played record gives the camera the captured state back.
  vtkNew<vtkCamera> player;
  for (size_t r = 0; r < expected.size(); r += 7)
  {
    CameraStatus record(lock);
    for (int i = 0; i < CameraStatus::NumberOfSlots; ++i)
    {
      record.SetValue(i, played[r + 1].Values[i]);
    }
    record.Apply(player);
    const std::vector<double> got = CameraState(player);
    const std::vector<double>& want = expected[r].State;
    for (size_t j = 0; j < want.size(); ++j)
    {
      if (std::fabs(got[j] - want[j]) > 1e-4 * (1.0 + std::fabs(want[j])))
      {
        ADD_FAILURE() << "record " << r << " state entry " << j << ": " << got[j] << " vs "
                      << want[j];
      }
    }
  }
  std::remove(path.c_str());
}

//------------------------------------------------------------------------------
// Apply holds the camera lock: while another thread holds it, the camera is left alone.
TEST(RecordLocking, ApplyWaitsForTheCameraLock)
{
  CCriticalSection lock;
  vtkNew<vtkCamera> camera;
  CameraStatus status(lock);
  status.SetValue(12, 55.0f);
  std::atomic<bool> applied{ false };
  lock.Enter();
  std::thread applier(
    [&]
    {
      status.Apply(camera);
      applied = true;
    });
  recordtest::GiveTime();
  EXPECT_FALSE(applied.load());
  EXPECT_DOUBLE_EQ(camera->GetViewAngle(), 30.0);
  lock.Leave();
  applier.join();
  EXPECT_DOUBLE_EQ(camera->GetViewAngle(), 55.0);
}
