#include "RecordThreads.h"

#include "CameraStatus.h"
#include "CameraStatusQueue.h"

#include <memory>

static_assert(MaxRecordDelay == RecordTickPeriod - 1, "a reader takes every delay the writer makes");

//------------------------------------------------------------------------------
int RecordTickDelay(int previousStamp, int stamp)
{
  const int delay = (stamp - previousStamp) % RecordTickPeriod;
  return delay < 0 ? delay + RecordTickPeriod : delay;
}

//------------------------------------------------------------------------------
unsigned RecordWriterThread(void* parameters)
{
  std::unique_ptr<RecordWriterParameters> p(static_cast<RecordWriterParameters*>(parameters));
  if (!p->Reference->Write(p->File, 1, nullptr))
  {
    p->Queue->Stop();
    return 1;
  }
  bool failed = false;
  bool first = true;
  int previousStamp = 0;
  while (QueueNode* node = p->Queue->Get())
  {
    const int delay = first ? 1 : RecordTickDelay(previousStamp, node->Ticks);
    first = false;
    previousStamp = node->Ticks;
    if (node->Status->Write(p->File, delay, p->Reference))
    {
      // Written or identical: either way the reference now equals the file's last state.
      p->Reference->CopyValues(*node->Status);
    }
    else
    {
      failed = true;
      p->Queue->Stop();
    }
    delete node;
  }
  return failed ? 1 : 0;
}

//------------------------------------------------------------------------------
unsigned RecordReaderThread(void* parameters)
{
  std::unique_ptr<RecordReaderParameters> p(static_cast<RecordReaderParameters*>(parameters));
  CameraStatus previous(*p->CameraLock);
  for (;;)
  {
    auto* status = new CameraStatus(*p->CameraLock);
    status->CopyValues(previous);
    int delay = 0;
    if (!status->Read(p->File, delay))
    {
      delete status;
      break;
    }
    // Once put, the node belongs to the consumer, which may delete it at once: keep the
    // values before handing it over.
    previous.CopyValues(*status);
    auto* node = new QueueNode(status, delay);
    if (!p->Queue->Put(node))
    {
      delete node;
      break;
    }
  }
  p->Queue->Stop();
  return 0;
}
