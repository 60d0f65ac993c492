#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "modbus/KRGuiDispatch.h"
#include "modbus/KRThread2.h"
#include "modbus/KRThreadQueue2.h"

namespace {

struct Item : TKRQueueItem {
  int Value;
  std::atomic<int>* Released;
  Item(int v, std::atomic<int>* released = nullptr) : Value(v), Released(released) {}
  ~Item() override {
    if (Released) ++*Released;
  }
};

int ValueOf(const std::unique_ptr<TKRQueueItem>& item) { return static_cast<Item&>(*item).Value; }

TEST(ThreadQueue, FifoOrderCountsAndSignals) {
  TKRThreadQueue2 q;
  q.SetActive(true);
  EXPECT_TRUE(q.EmptyEvent().IsSet());
  for (int v : {1, 2, 3}) ASSERT_NE(q.Push(std::make_unique<Item>(v)), nullptr);
  EXPECT_EQ(q.Count(), 3);
  EXPECT_TRUE(q.SignalEvent().IsSet());
  EXPECT_FALSE(q.EmptyEvent().IsSet());
  EXPECT_EQ(ValueOf(q.Pop()), 1);
  EXPECT_EQ(ValueOf(q.Pop()), 2);
  EXPECT_TRUE(q.SignalEvent().IsSet());
  EXPECT_EQ(ValueOf(q.Pop()), 3);
  EXPECT_EQ(q.Count(), 0);
  EXPECT_FALSE(q.SignalEvent().IsSet());
  EXPECT_TRUE(q.EmptyEvent().IsSet());
  EXPECT_EQ(q.Pop(), nullptr);
  const auto t0 = std::chrono::steady_clock::now();
  q.WaitForEmpty(5000);
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(100));
}

TEST(ThreadQueue, InactiveQueueReleasesItems) {
  std::atomic<int> released{0};
  TKRThreadQueue2 q;
  EXPECT_EQ(q.Push(std::make_unique<Item>(1, &released)), nullptr);
  EXPECT_EQ(q.Count(), 0);
  EXPECT_EQ(released, 1);

  q.SetActive(true);
  for (int v = 0; v < 4; ++v) q.Push(std::make_unique<Item>(v, &released));
  q.SetActive(false);
  EXPECT_EQ(released, 5);
  EXPECT_EQ(q.Count(), 0);
  EXPECT_TRUE(q.EmptyEvent().IsSet());
  EXPECT_FALSE(q.SignalEvent().IsSet());
  q.SetActive(false);
  EXPECT_FALSE(q.Active());
}

TEST(ThreadQueue, AtLeastAndTimedWaitForEmpty) {
  TKRThreadQueue2 q;
  q.SetActive(true);
  for (int v = 0; v < 254; ++v) q.Push(std::make_unique<Item>(v));
  EXPECT_FALSE(q.AtLeast(255));
  q.Push(std::make_unique<Item>(254));
  EXPECT_TRUE(q.AtLeast(255));
  const auto t0 = std::chrono::steady_clock::now();
  q.WaitForEmpty(30);
  EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(29));
  q.Clear();
  EXPECT_EQ(q.Count(), 0);
}

// Takes one item per wake-up, as the connector's worker does.
class Drainer : public TKRThread2 {
 public:
  explicit Drainer(TKRThreadQueue2& q) : TKRThread2(q.SignalEvent()), fQueue(q) {}
  ~Drainer() override {
    Terminate();
    WaitFor();
  }
  std::atomic<int> Calls{0};
  std::vector<int> Seen;  // read after WaitFor

 protected:
  void Work() override {
    ++Calls;
    if (auto item = fQueue.Pop()) Seen.push_back(ValueOf(item));
  }

 private:
  TKRThreadQueue2& fQueue;
};

TEST(Thread2, TerminateWakesASleepingWorker) {
  TKRThreadQueue2 q;
  Drainer worker(q);
  std::this_thread::sleep_for(std::chrono::milliseconds(2));
  EXPECT_TRUE(worker.Working());
  worker.Terminate();
  EXPECT_TRUE(worker.FinishedEvent().WaitFor(2000));
  worker.WaitFor();
  EXPECT_FALSE(worker.Working());
  EXPECT_EQ(worker.Calls, 0);
}

TEST(Thread2, InactiveWorkerDoesNoWorkUntilActivated) {
  TKRThreadQueue2 q;
  q.SetActive(true);
  Drainer worker(q);
  for (int v = 0; v < 100; ++v) q.Push(std::make_unique<Item>(v));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(worker.Calls, 0);
  EXPECT_EQ(q.Count(), 100);
  worker.SetActive(true);
  q.WaitForEmpty(5000);
  worker.Terminate();
  worker.WaitFor();
  ASSERT_EQ(worker.Seen.size(), 100u);
  for (int v = 0; v < 100; ++v) EXPECT_EQ(worker.Seen[v], v);
}

// A worker thread that posts and calls into the dispatch, the way a connector's worker does. The
// GUI thread starts serving only once the first posts are all waiting, so that a dispatch that
// reorders what is waiting fails every round, not only when the threads happen to interleave.
TEST(GuiDispatch, PostsAndCallsRunOnTheGuiThreadInPostingOrder) {
  for (int round = 0; round < 20; ++round) {
    TKRGuiDispatch dispatch;
    std::vector<int> order;
    bool allOnGui = true;
    auto record = [&](int v) {
      return [&, v] {
        allOnGui = allOnGui && QThread::currentThread() == qApp->thread();
        order.push_back(v);
      };
    };
    TKREvent posted, finished;
    std::thread worker([&] {
      dispatch.Post(record(1));
      dispatch.Post(record(2));
      dispatch.Post(record(3));
      posted.Set();
      EXPECT_TRUE(dispatch.Call(record(4)));  // after 1 to 3, and only once it has run
      dispatch.Post(record(5));
      dispatch.Post(record(6));
      finished.Set();
    });
    ASSERT_TRUE(posted.WaitFor(5000));
    EXPECT_TRUE(dispatch.WaitServing(finished, 5000));
    worker.join();
    QCoreApplication::processEvents();
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4, 5, 6}));
    EXPECT_TRUE(allOnGui);
  }
}

TEST(GuiDispatch, EventLoopDeliversPosts) {
  TKRGuiDispatch dispatch;
  std::atomic<int> ran{0};
  std::thread worker([&] {
    for (int i = 0; i < 50; ++i) dispatch.Post([&] { ++ran; });
  });
  worker.join();
  EXPECT_EQ(ran, 0);  // nothing runs outside the GUI thread's loop
  QCoreApplication::processEvents();
  EXPECT_EQ(ran, 50);
}

// The stop of a worker that is blocked in a waited-for call: a plain join would deadlock.
TEST(GuiDispatch, StoppingAWorkerServesItsPendingCall) {
  for (int round = 0; round < 20; ++round) {
    TKRGuiDispatch dispatch;
    TKRThreadQueue2 q;
    q.SetActive(true);
    std::atomic<int> failures{0};
    class Failing : public TKRThread2 {
     public:
      Failing(TKRThreadQueue2& q, TKRGuiDispatch& d, std::atomic<int>& f)
          : TKRThread2(q.SignalEvent()), fQ(q), fD(d), fF(f) {}
      ~Failing() override { Terminate(); }
     protected:
      void Work() override {
        if (fQ.Pop()) fD.Call([this] { ++fF; });
      }
     private:
      TKRThreadQueue2& fQ;
      TKRGuiDispatch& fD;
      std::atomic<int>& fF;
    } worker(q, dispatch, failures);
    worker.SetActive(true);
    for (int v = 0; v < 3; ++v) q.Push(std::make_unique<Item>(v));
    worker.Terminate();
    ASSERT_TRUE(dispatch.WaitServing(worker.FinishedEvent(), 5000));
    worker.WaitFor();
    EXPECT_LE(failures, 3);
  }
}

}  // namespace
