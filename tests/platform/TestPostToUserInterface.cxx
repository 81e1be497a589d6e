// Tasks handed from worker threads to the user-interface thread: each runs there, once, in the
// order its thread posted it, and sees everything its thread wrote before posting. The test is
// labelled "threads": under ThreadSanitizer a hand-over it cannot follow fails the test.
#include "GuiTestSupport.h"
#include "Wnd.h"

#include <gtest/gtest.h>

#include <QThread>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace
{
// What one task carries: plain (not atomic) data that the posting thread fills in before it
// posts, and that the task reads on the interface thread.
struct Parcel
{
  int Worker = -1;
  int Sequence = -1;
  std::vector<double> Values;
  std::string Name;
};

struct Delivery
{
  int Worker;
  int Sequence;
  bool OnInterfaceThread;
  bool ParcelIntact;
};

struct Case
{
  const char* Name;
  const char* What;
  int Workers;
  int TasksPerWorker;
  int ValuesPerParcel;
};

class PostToUserInterfaceTest : public ::testing::TestWithParam<Case>
{
};

std::string CaseName(const ::testing::TestParamInfo<Case>& c)
{
  return c.param.Name;
}

bool Intact(const Parcel& parcel, int valuesPerParcel)
{
  if (static_cast<int>(parcel.Values.size()) != valuesPerParcel ||
    parcel.Name != "w" + std::to_string(parcel.Worker) + "-" + std::to_string(parcel.Sequence))
  {
    return false;
  }
  for (int i = 0; i < valuesPerParcel; ++i)
  {
    if (parcel.Values[i] != parcel.Worker * 1e6 + parcel.Sequence * 1e3 + i + 0.25)
    {
      return false;
    }
  }
  return true;
}
}

//------------------------------------------------------------------------------
TEST_P(PostToUserInterfaceTest, EveryTaskRunsOnceOnTheInterfaceThreadInItsWorkersOrder)
{
  const Case c = GetParam();
  guitest::App();
  QThread* interfaceThread = QThread::currentThread();

  // Only the interface thread touches this: the tasks run there.
  std::vector<Delivery> deliveries;
  std::atomic<int> refused{ 0 };
  std::vector<std::thread> workers;
  for (int w = 0; w < c.Workers; ++w)
  {
    workers.emplace_back(
      [&, w]
      {
        for (int s = 0; s < c.TasksPerWorker; ++s)
        {
          auto parcel = std::make_shared<Parcel>();
          parcel->Worker = w;
          parcel->Sequence = s;
          parcel->Name = "w" + std::to_string(w) + "-" + std::to_string(s);
          for (int i = 0; i < c.ValuesPerParcel; ++i)
          {
            parcel->Values.push_back(w * 1e6 + s * 1e3 + i + 0.25);
          }
          const BOOL posted = PostToUserInterface(
            [parcel, &deliveries, interfaceThread, n = c.ValuesPerParcel]
            {
              deliveries.push_back({ parcel->Worker, parcel->Sequence,
                QThread::currentThread() == interfaceThread, Intact(*parcel, n) });
            });
          if (!posted)
          {
            ++refused;
          }
        }
      });
  }
  // The tasks run while their workers still live: joining a worker first would order its
  // writes before the tasks by itself and hide a hand-over that does not.
  const size_t expected = static_cast<size_t>(c.Workers) * c.TasksPerWorker;
  const bool allRan = guitest::WaitFor([&] { return deliveries.size() >= expected; });
  for (auto& t : workers)
  {
    t.join();
  }
  ASSERT_TRUE(allRan) << c.What << ": " << deliveries.size() << " of " << expected << " tasks ran";
  guitest::Settle(50);
  EXPECT_EQ(refused.load(), 0) << c.What;
  ASSERT_EQ(deliveries.size(), expected) << c.What << ": a task ran more than once";

  std::vector<int> next(c.Workers, 0);
  for (const Delivery& d : deliveries)
  {
    ASSERT_GE(d.Worker, 0) << c.What;
    ASSERT_LT(d.Worker, c.Workers) << c.What;
    EXPECT_EQ(d.Sequence, next[d.Worker]) << c.What << ": worker " << d.Worker << " out of order";
    next[d.Worker] = d.Sequence + 1;
    EXPECT_TRUE(d.OnInterfaceThread) << c.What << ": task " << d.Worker << "/" << d.Sequence;
    EXPECT_TRUE(d.ParcelIntact) << c.What << ": task " << d.Worker << "/" << d.Sequence;
  }
}

INSTANTIATE_TEST_SUITE_P(Workers, PostToUserInterfaceTest,
  ::testing::Values(Case{ "OneTask", "one worker, one small task", 1, 1, 1 },
    Case{ "Burst", "one worker, a burst of tasks", 1, 200, 8 },
    Case{ "FourWorkers", "four workers at once", 4, 100, 64 },
    Case{ "LargeParcels", "large parcels", 2, 20, 20000 }),
  CaseName);

//------------------------------------------------------------------------------
TEST(PostToUserInterface, AnEmptyTaskIsRefusedAndNothingRuns)
{
  guitest::App();
  EXPECT_EQ(PostToUserInterface(std::function<void()>()), FALSE);
  // A task posted after the refused one still runs: the refusal left nothing behind.
  bool ran = false;
  ASSERT_EQ(PostToUserInterface([&ran] { ran = true; }), TRUE);
  EXPECT_TRUE(guitest::WaitFor([&] { return ran; }));
}
