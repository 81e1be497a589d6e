#include "CameraStatusQueue.h"

//------------------------------------------------------------------------------
CameraStatusQueue::CameraStatusQueue(int capacity, int threshold)
  : CanPut(true)
  , CanGet(false)
  , Capacity(capacity)
  , Threshold(threshold < 1 ? 1 : threshold)
{
  if (this->Capacity != 0 && this->Capacity < this->Threshold)
  {
    this->Capacity = this->Threshold;
  }
}

//------------------------------------------------------------------------------
CameraStatusQueue::~CameraStatusQueue()
{
  QueueNode* node = this->Head;
  while (node)
  {
    QueueNode* older = node->Older;
    delete node;
    node = older;
  }
}

//------------------------------------------------------------------------------
int CameraStatusQueue::GetCount() const
{
  std::lock_guard<std::mutex> lock(this->Mutex);
  return this->Count;
}

//------------------------------------------------------------------------------
void CameraStatusQueue::UpdateSignals()
{
  if (this->Count >= this->Threshold)
  {
    this->CanGet.Set();
  }
  if (this->Capacity == 0 || this->Count < this->Capacity)
  {
    this->CanPut.Set();
  }
}

//------------------------------------------------------------------------------
bool CameraStatusQueue::Put(QueueNode* node)
{
  for (;;)
  {
    this->CanPut.Wait();
    std::lock_guard<std::mutex> lock(this->Mutex);
    if (this->Stopped.load())
    {
      return false;
    }
    this->CanPut.Reset();
    // With a single producer the signal already says there is room; a second producer
    // may have taken it since, and must then wait like the first.
    if (this->Capacity != 0 && this->Count >= this->Capacity)
    {
      continue;
    }
    node->Newer = nullptr;
    node->Older = this->Head;
    if (this->Head)
    {
      this->Head->Newer = node;
    }
    else
    {
      this->Tail = node;
    }
    this->Head = node;
    ++this->Count;
    this->UpdateSignals();
    return true;
  }
}

//------------------------------------------------------------------------------
QueueNode* CameraStatusQueue::Get()
{
  for (;;)
  {
    this->CanGet.Wait();
    std::lock_guard<std::mutex> lock(this->Mutex);
    const bool stopped = this->Stopped.load();
    if (!stopped)
    {
      this->CanGet.Reset();
      // As in Put: only a second consumer can find too few nodes behind a set signal.
      if (this->Count < this->Threshold)
      {
        continue;
      }
    }
    QueueNode* node = this->Tail;
    if (node)
    {
      this->Tail = node->Newer;
      if (this->Tail)
      {
        this->Tail->Older = nullptr;
      }
      else
      {
        this->Head = nullptr;
      }
      node->Newer = nullptr;
      node->Older = nullptr;
      --this->Count;
    }
    if (!stopped)
    {
      this->UpdateSignals();
    }
    return node;
  }
}

//------------------------------------------------------------------------------
void CameraStatusQueue::Stop()
{
  std::lock_guard<std::mutex> lock(this->Mutex);
  this->Stopped.store(true);
  this->CanGet.Set();
  this->CanPut.Set();
}
