/**
 * @file RecordThreads.h
 * @brief The worker threads of recording (queue to file) and playback (file to queue).
 *
 * Each procedure is started with a parameter block made with new, and deletes it when it
 * ends. Neither closes the file: the view closes it after it has waited for the thread.
 *
 * Tick stamps of recorded captures run from 0 to 49999 and then wrap to 0; a delay is
 * counted over the wrap (a capture at 5 after one at 49990 is 15 ticks later).
 */
#ifndef RecordThreads_h
#define RecordThreads_h

#include <cstdio>

class CameraStatus;
class CameraStatusQueue;
class CCriticalSection;

/// The number of distinct tick stamps: stamps wrap from 49999 to 0.
constexpr int RecordTickPeriod = 50000;

/// Ticks from one stamp to the next, over the wrap: a value in 0..49999.
int RecordTickDelay(int previousStamp, int stamp);

/// Parameter block of RecordWriterThread.
struct RecordWriterParameters
{
  std::FILE* File;              ///< open for writing, replaced by the view
  CameraStatusQueue* Queue;     ///< the captures to write, newest last
  CameraStatus* Reference;      ///< written first; afterwards always the last written state
  CCriticalSection* CameraLock; ///< the lock of the recording view
};

/// Parameter block of RecordReaderThread.
struct RecordReaderParameters
{
  std::FILE* File;              ///< open for reading
  CameraStatusQueue* Queue;     ///< receives a node per line: the record and its delay
  CCriticalSection* CameraLock; ///< bound to every record the reader makes
};

/**
 * Writes the reference record as the file's first line (delay 1), then every node taken
 * from the queue, with the delay since the capture taken before it and only the slots
 * that changed since the last written line; deletes each node. Ends when the queue is
 * stopped and empty. On a failed write it stops the queue (the view's next Put fails,
 * which ends the recording) and deletes what is left. Result: 0 when every write
 * succeeded, 1 otherwise.
 */
unsigned RecordWriterThread(void* parameters);

/**
 * Reads the file line by line into records that start from the defaults and accumulate
 * the changes, and puts each into the queue with its delay. Ends at the end of the file,
 * at a malformed line, or when the queue refuses a node (stopped by the view); stops the
 * queue when it ends, so the consumer learns that no more records come. Result: 0.
 */
unsigned RecordReaderThread(void* parameters);

#endif
