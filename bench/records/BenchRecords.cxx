// Records per second through the recording writer thread and the playback reader thread.
//
//   bench_records [records]      (default 200000)
//
// The captures are made beforehand from a camera orbiting the scene, as while the user
// drags the model (most slots change at every capture). Writer: the queue is filled and
// stopped first, so the time is the writer thread's alone (format and write each line).
// Reader: from the start of the reader thread until a consumer on this thread has taken
// the last record through a queue of capacity 10, as in playback; then once more through
// an unbounded queue, which leaves the reading and parsing without the hand-over.
#include "CameraStatusQueue.h"
#include "RecordThreads.h"
#include "system.h"

#include <vtkCamera.h>
#include <vtkNew.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace
{
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since)
{
  return std::chrono::duration<double>(Clock::now() - since).count();
}

struct Result
{
  double Seconds;
  long Bytes;
};

Result TimeWriter(const std::string& path, int records, CCriticalSection& lock)
{
  vtkNew<vtkCamera> camera;
  camera->SetPosition(0.0, 0.0, 10.0);
  CameraStatus reference(camera, lock);
  CameraStatusQueue queue(0, 1);
  for (int i = 0; i < records; ++i)
  {
    camera->Azimuth(0.7);
    camera->Elevation(0.3);
    camera->OrthogonalizeViewUp();
    queue.Put(new QueueNode(new CameraStatus(camera, lock), i % RecordTickPeriod));
  }
  queue.Stop();
  std::FILE* file = std::fopen(path.c_str(), "w");
  if (!file)
  {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    std::exit(1);
  }
  CWorkerThread writer;
  const Clock::time_point start = Clock::now();
  writer.Start(RecordWriterThread, new RecordWriterParameters{ file, &queue, &reference, &lock });
  const unsigned failed = writer.Wait();
  std::fflush(file);
  const double seconds = Seconds(start);
  const long bytes = std::ftell(file);
  std::fclose(file);
  if (failed)
  {
    std::fprintf(stderr, "the writer failed\n");
    std::exit(1);
  }
  return { seconds, bytes };
}

Result TimeReader(const std::string& path, int expected, int capacity, CCriticalSection& lock)
{
  std::FILE* file = std::fopen(path.c_str(), "r");
  CameraStatusQueue queue(capacity, 1);
  CWorkerThread reader;
  int taken = 0;
  const Clock::time_point start = Clock::now();
  reader.Start(RecordReaderThread, new RecordReaderParameters{ file, &queue, &lock });
  while (QueueNode* node = queue.Get())
  {
    ++taken;
    delete node;
  }
  reader.Wait();
  const double seconds = Seconds(start);
  std::fclose(file);
  if (taken != expected)
  {
    std::fprintf(stderr, "read %d records, expected %d\n", taken, expected);
    std::exit(1);
  }
  return { seconds, 0 };
}
} // namespace

int main(int argc, char* argv[])
{
  const int records = argc > 1 ? std::atoi(argv[1]) : 200000;
  const std::string path = GetTempPath() + "bench_records_" + std::to_string(::getpid()) + ".csr";
  CCriticalSection lock;
  const Result w = TimeWriter(path, records, lock);
  // Every capture moved the camera: one line per capture, plus the starting camera.
  const Result r = TimeReader(path, records + 1, 10, lock);
  const Result u = TimeReader(path, records + 1, 0, lock);
  DeleteFile(path);
  std::printf("records: %d (file %.1f MB, %.0f bytes per line)\n", records, w.Bytes / 1e6,
    static_cast<double>(w.Bytes) / (records + 1));
  std::printf("writer thread: %.3f s, %.0f records/s\n", w.Seconds, records / w.Seconds);
  std::printf("reader thread: %.3f s, %.0f records/s (through a queue of capacity 10)\n", r.Seconds,
    (records + 1) / r.Seconds);
  std::printf("reader thread: %.3f s, %.0f records/s (unbounded queue: reading alone)\n", u.Seconds,
    (records + 1) / u.Seconds);
  return 0;
}
