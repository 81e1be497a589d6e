// The blocking queue between a producer and a consumer thread.
#include "CameraStatusQueue.h"
#include "RecordTestUtils.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

namespace
{
using recordtest::CountedStatus;
using recordtest::GiveTime;
using recordtest::WaitFor;

QueueNode* MakeNode(CCriticalSection& lock, int id)
{
  return new QueueNode(new CountedStatus(lock, id), id);
}

int IdOf(const QueueNode* node)
{
  return static_cast<const CountedStatus*>(node->Status)->Id;
}

class QueueTest : public ::testing::Test
{
protected:
  void SetUp() override { CountedStatus::Live = 0; }
  void TearDown() override { EXPECT_EQ(CountedStatus::Live.load(), 0) << "records leaked"; }
  CCriticalSection Lock;
};
} // namespace

//------------------------------------------------------------------------------
TEST(CameraStatusQueueLimits, ConstructionAdjustsCapacityAndThreshold)
{
  const struct
  {
    int capacity, threshold, wantCapacity, wantThreshold;
  } cases[] = { { 0, 1, 0, 1 }, { 10, 1, 10, 1 }, { 0, 0, 0, 1 }, { 5, -3, 5, 1 }, { 3, 5, 5, 5 },
    { 0, 5, 0, 5 }, { 1, 1, 1, 1 } };
  for (const auto& c : cases)
  {
    CameraStatusQueue queue(c.capacity, c.threshold);
    EXPECT_EQ(queue.GetCapacity(), c.wantCapacity) << c.capacity << "," << c.threshold;
    EXPECT_EQ(queue.GetThreshold(), c.wantThreshold) << c.capacity << "," << c.threshold;
    EXPECT_FALSE(queue.IsStopped());
    EXPECT_EQ(queue.GetCount(), 0);
  }
}

//------------------------------------------------------------------------------
TEST_F(QueueTest, HandsOutOldestFirst)
{
  CameraStatusQueue queue(0, 1);
  for (int i = 0; i < 5; ++i)
  {
    ASSERT_TRUE(queue.Put(MakeNode(this->Lock, i)));
  }
  EXPECT_EQ(queue.GetCount(), 5);
  for (int i = 0; i < 5; ++i)
  {
    QueueNode* node = queue.Get();
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(IdOf(node), i);
    EXPECT_EQ(node->Ticks, i);
    delete node;
  }
  EXPECT_EQ(queue.GetCount(), 0);
}

//------------------------------------------------------------------------------
TEST_F(QueueTest, PutBlocksAtCapacityTenUntilAGet)
{
  CameraStatusQueue queue(10, 1);
  std::atomic<int> returned{ 0 };
  std::thread producer(
    [&]
    {
      for (int i = 0; i < 11; ++i)
      {
        EXPECT_TRUE(queue.Put(MakeNode(this->Lock, i)));
        ++returned;
      }
    });
  ASSERT_TRUE(WaitFor([&] { return returned.load() == 10; }));
  GiveTime();
  EXPECT_EQ(returned.load(), 10) << "the eleventh Put did not wait for room";
  EXPECT_EQ(queue.GetCount(), 10);

  QueueNode* oldest = queue.Get();
  ASSERT_NE(oldest, nullptr);
  EXPECT_EQ(IdOf(oldest), 0);
  delete oldest;
  producer.join();
  EXPECT_EQ(returned.load(), 11);
  EXPECT_EQ(queue.GetCount(), 10);
}

//------------------------------------------------------------------------------
TEST_F(QueueTest, CapacityZeroNeverBlocksTheProducer)
{
  CameraStatusQueue queue(0, 1);
  std::atomic<bool> done{ false };
  std::thread producer(
    [&]
    {
      for (int i = 0; i < 5000; ++i)
      {
        EXPECT_TRUE(queue.Put(MakeNode(this->Lock, i)));
      }
      done = true;
    });
  ASSERT_TRUE(WaitFor([&] { return done.load(); })) << "a Put blocked without any limit";
  producer.join();
  EXPECT_EQ(queue.GetCount(), 5000);
  // The queue deletes what it still holds.
}

//------------------------------------------------------------------------------
TEST_F(QueueTest, GetWaitsForTheThreshold)
{
  CameraStatusQueue queue(0, 3);
  std::atomic<QueueNode*> got{ nullptr };
  std::thread consumer([&] { got = queue.Get(); });
  ASSERT_TRUE(queue.Put(MakeNode(this->Lock, 0)));
  ASSERT_TRUE(queue.Put(MakeNode(this->Lock, 1)));
  GiveTime();
  EXPECT_EQ(got.load(), nullptr) << "Get passed below the threshold";
  ASSERT_TRUE(queue.Put(MakeNode(this->Lock, 2)));
  consumer.join();
  ASSERT_NE(got.load(), nullptr);
  EXPECT_EQ(IdOf(got.load()), 0);
  delete got.load();
  EXPECT_EQ(queue.GetCount(), 2);
}

//------------------------------------------------------------------------------
TEST_F(QueueTest, StopReleasesAWaitingGet)
{
  CameraStatusQueue queue(10, 1);
  std::atomic<bool> returned{ false };
  QueueNode* got = nullptr;
  std::thread consumer(
    [&]
    {
      got = queue.Get();
      returned = true;
    });
  GiveTime();
  EXPECT_FALSE(returned.load()) << "Get on an empty queue did not wait";
  queue.Stop();
  consumer.join();
  EXPECT_EQ(got, nullptr);
  // Stopped and empty: further gets return at once.
  EXPECT_EQ(queue.Get(), nullptr);
  EXPECT_EQ(queue.Get(), nullptr);
}

//------------------------------------------------------------------------------
TEST_F(QueueTest, StopReleasesAWaitingPutAndTheCallerKeepsItsNode)
{
  CameraStatusQueue queue(10, 1);
  for (int i = 0; i < 10; ++i)
  {
    ASSERT_TRUE(queue.Put(MakeNode(this->Lock, i)));
  }
  std::atomic<int> result{ -1 };
  QueueNode* extra = MakeNode(this->Lock, 10);
  std::thread producer([&] { result = queue.Put(extra) ? 1 : 0; });
  GiveTime();
  EXPECT_EQ(result.load(), -1) << "Put on a full queue did not wait";
  queue.Stop();
  producer.join();
  EXPECT_EQ(result.load(), 0);
  EXPECT_EQ(extra->Older, nullptr);
  delete extra;
  QueueNode* late = MakeNode(this->Lock, 11);
  EXPECT_FALSE(queue.Put(late));
  delete late;
  EXPECT_EQ(queue.GetCount(), 10);
}

//------------------------------------------------------------------------------
TEST_F(QueueTest, AfterStopRemainingNodesComeOutOldestFirst)
{
  CameraStatusQueue queue(10, 1);
  for (int i = 0; i < 4; ++i)
  {
    ASSERT_TRUE(queue.Put(MakeNode(this->Lock, i)));
  }
  queue.Stop();
  EXPECT_TRUE(queue.IsStopped());
  QueueNode* refused = MakeNode(this->Lock, 50);
  EXPECT_FALSE(queue.Put(refused));
  delete refused;
  // Handed out from another thread, without waiting, oldest first, then none.
  std::vector<int> ids;
  std::thread consumer(
    [&]
    {
      while (QueueNode* node = queue.Get())
      {
        ids.push_back(IdOf(node));
        delete node;
      }
      EXPECT_EQ(queue.Get(), nullptr);
    });
  consumer.join();
  EXPECT_EQ(ids, (std::vector<int>{ 0, 1, 2, 3 }));
  EXPECT_EQ(queue.GetCount(), 0);
}

//------------------------------------------------------------------------------
TEST_F(QueueTest, DestroyingDeletesHeldNodesNewestFirst)
{
  std::vector<int> order;
  CountedStatus::OnDelete = [&](int id) { order.push_back(id); };
  {
    CameraStatusQueue queue(0, 1);
    for (int i = 0; i < 6; ++i)
    {
      ASSERT_TRUE(queue.Put(MakeNode(this->Lock, i)));
    }
    delete queue.Get();
    EXPECT_EQ(CountedStatus::Live.load(), 5);
  }
  CountedStatus::OnDelete = nullptr;
  EXPECT_EQ(order, (std::vector<int>{ 0, 5, 4, 3, 2, 1 }));
}

//------------------------------------------------------------------------------
TEST_F(QueueTest, ProducerAndConsumerKeepTheOrderAtCapacityTen)
{
  CameraStatusQueue queue(10, 1);
  const int total = 20000;
  std::thread producer(
    [&]
    {
      for (int i = 0; i < total; ++i)
      {
        ASSERT_TRUE(queue.Put(MakeNode(this->Lock, i)));
      }
      queue.Stop();
    });
  int expected = 0;
  while (QueueNode* node = queue.Get())
  {
    EXPECT_LE(queue.GetCount(), 10);
    if (IdOf(node) != expected)
    {
      ADD_FAILURE() << "got " << IdOf(node) << ", wanted " << expected;
    }
    ++expected;
    delete node;
  }
  producer.join();
  EXPECT_EQ(expected, total);
}

//------------------------------------------------------------------------------
// A stop from a third thread at any moment: no thread stays blocked and every node is
// accounted for, whoever ends up owning it.
TEST_F(QueueTest, StopAtAnyMomentLeavesNoWaiterAndNoNodeBehind)
{
  std::mt19937 random(12345);
  for (int round = 0; round < 60; ++round)
  {
    const int capacity = round % 3 == 0 ? 0 : 1 + round % 10;
    auto queue = std::make_unique<CameraStatusQueue>(capacity, 1 + round % 2);
    std::atomic<int> accepted{ 0 };
    std::atomic<int> taken{ 0 };
    std::thread producer(
      [&]
      {
        for (int i = 0; i < 400; ++i)
        {
          QueueNode* node = MakeNode(this->Lock, i);
          if (!queue->Put(node))
          {
            delete node;
            break;
          }
          ++accepted;
        }
      });
    std::thread consumer(
      [&]
      {
        int last = -1;
        while (QueueNode* node = queue->Get())
        {
          EXPECT_GT(IdOf(node), last);
          last = IdOf(node);
          ++taken;
          delete node;
          if (last % 7 == 0)
          {
            std::this_thread::yield();
          }
        }
      });
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 3000));
    queue->Stop();
    producer.join();
    consumer.join();
    EXPECT_EQ(accepted.load() - taken.load(), queue->GetCount()) << "round " << round;
    queue.reset();
    EXPECT_EQ(CountedStatus::Live.load(), 0) << "round " << round;
  }
}

//------------------------------------------------------------------------------
// Two threads taking from one queue (as the user-interface and timer threads of playback
// might) never see "stopped" before the queue is, and never get a node twice.
TEST_F(QueueTest, TwoConsumersShareTheNodesWithoutEndingEarly)
{
  CameraStatusQueue queue(10, 1);
  const int total = 6000;
  std::vector<int> seen(total, 0);
  std::mutex seenMutex;
  std::atomic<bool> producerDone{ false };
  auto consume = [&]
  {
    while (QueueNode* node = queue.Get())
    {
      {
        std::lock_guard<std::mutex> hold(seenMutex);
        ++seen[IdOf(node)];
      }
      delete node;
    }
    // None may come back before the producer has stopped the queue.
    EXPECT_TRUE(producerDone.load());
  };
  std::thread a(consume);
  std::thread b(consume);
  for (int i = 0; i < total; ++i)
  {
    ASSERT_TRUE(queue.Put(MakeNode(this->Lock, i)));
  }
  producerDone = true;
  queue.Stop();
  a.join();
  b.join();
  for (int i = 0; i < total; ++i)
  {
    EXPECT_EQ(seen[i], 1) << "node " << i;
  }
}
