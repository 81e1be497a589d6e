/**
 * @class CameraStatusQueue
 * @brief Blocking first-in first-out queue of camera records between a producer and a
 * consumer thread.
 *
 * Recording puts captures from the user-interface thread and a writer thread takes them
 * (capacity 0: the user interface never waits); playback puts records from a reader thread
 * and the timer thread takes them (capacity 10: the reader runs at most 10 records ahead).
 *
 * Two manual-reset signals do the waiting: CanPut (set at construction) lets a producer
 * in, CanGet (clear at construction) lets a consumer in. Get passes once at least
 * `threshold` nodes are held; Put passes while fewer than `capacity` are held (always,
 * for capacity 0). The list, the count, the stop flag and the decisions on the signals are
 * made under the queue's own mutex, so a Stop cannot fall between a Put's or Get's look at
 * the stop flag and its change of a signal: once stopped, both signals stay set, and no
 * thread waits in Put or Get any longer.
 *
 * After Stop, Put refuses every node at once and Get hands out the remaining nodes oldest
 * first, then none, without waiting.
 *
 * @warning The queue must outlive every thread that may still call it. Destroying it
 * deletes the nodes it holds.
 */
#ifndef CameraStatusQueue_h
#define CameraStatusQueue_h

#include "CameraStatus.h"
#include "system.h"

#include <atomic>
#include <mutex>

/// One element of the queue: a record (owned) and its tick value.
class QueueNode
{
public:
  /// Takes ownership of the record. While recording, ticks is the view's tick at capture
  /// (0..49999); while playing, the delay read from the file.
  QueueNode(CameraStatus* status, int ticks)
    : Status(status)
    , Ticks(ticks)
  {
  }
  virtual ~QueueNode() { delete this->Status; }
  QueueNode(const QueueNode&) = delete;
  QueueNode& operator=(const QueueNode&) = delete;

  QueueNode* Older = nullptr; ///< next older node, towards the tail
  QueueNode* Newer = nullptr; ///< next newer node, towards the head
  CameraStatus* Status;
  int Ticks;
};

class CameraStatusQueue
{
public:
  /// A threshold below 1 becomes 1; a capacity that is not 0 and below the threshold
  /// becomes the threshold.
  CameraStatusQueue(int capacity, int threshold);
  /// Deletes the nodes still held, newest first, with their records.
  virtual ~CameraStatusQueue();
  CameraStatusQueue(const CameraStatusQueue&) = delete;
  CameraStatusQueue& operator=(const CameraStatusQueue&) = delete;

  /// Waits, without limit, for room; then links the node as the newest and returns true.
  /// Returns false when the queue is stopped: the caller keeps the node.
  bool Put(QueueNode* node);

  /// Waits, without limit, for a node; returns the oldest node (the caller owns it), or
  /// none when the queue is stopped and empty.
  QueueNode* Get();

  /// Refuses further nodes and releases every waiting Put and Get. Stays stopped.
  void Stop();

  bool IsStopped() const { return this->Stopped.load(); }
  int GetCount() const;
  int GetCapacity() const { return this->Capacity; }
  int GetThreshold() const { return this->Threshold; }

private:
  /// Sets the signals from the count after a Put or Get; called under the mutex.
  void UpdateSignals();

  CManualResetEvent CanPut;
  CManualResetEvent CanGet;
  std::atomic<bool> Stopped{ false };
  int Count = 0;
  QueueNode* Tail = nullptr; ///< oldest
  QueueNode* Head = nullptr; ///< newest
  int Capacity;
  int Threshold;
  mutable std::mutex Mutex;
};

#endif
