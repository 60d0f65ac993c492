// The journal's writer against a disk the test watches, on a clock the test moves: when data
// reaches the disk, what a failing disk does to the records after it, and a Stop that does not
// wait for a disk that hangs.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "host/JournalWriter.h"
#include "tests/host/FakeJournalFile.h"

namespace {
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class JournalWriter : public ::testing::Test {
 protected:
  void SetUp() override {
    auto file = FakeJournalFiles(disk)();
    ASSERT_TRUE(file->Create("journal"));
    writer = std::make_unique<TJournalWriter>(std::move(file), [this] { return Clock::time_point(now.load()); });
  }
  void TearDown() override {
    disk->ReleaseSync();
    if (writer) writer->Stop(false);
    // The thread owns the file: it is done once the file is closed.
    EXPECT_TRUE(disk->WaitFor([this] { return !disk->Open; }));
  }
  void At(std::chrono::milliseconds t) { now = Clock::duration(t); }
  bool Synced(const QByteArray& upTo) {
    return disk->WaitFor([&] { return disk->Synced >= disk->Written.indexOf(upTo) + upTo.size() &&
                                      disk->Written.contains(upTo); });
  }
  bool Written(const QByteArray& record) {
    return disk->WaitFor([&] { return disk->Written.contains(record); });
  }

  std::shared_ptr<TFakeDisk> disk = std::make_shared<TFakeDisk>();
  std::atomic<Clock::duration> now{Clock::duration(1h)};
  std::unique_ptr<TJournalWriter> writer;
};
}  // namespace

TEST_F(JournalWriter, TheFirstDataAndItsFolderEntryReachTheDiskAtOnceThenOnceASecondAtMost) {
  At(0ms);
  writer->Append("a\n");
  ASSERT_TRUE(Synced("a\n")) << "the first record is put on the disk at once";
  EXPECT_TRUE(disk->WaitFor([this] { return disk->FolderSyncs == 1; }))
      << "and the new file's folder entry with it";
  At(500ms);
  writer->Append("b\n");
  At(999ms);
  writer->Append("c\n");
  ASSERT_TRUE(Written("c\n"));
  At(1000ms);
  writer->Append("d\n");
  ASSERT_TRUE(Synced("d\n")) << "a second after the last sync the data is synced again";
  EXPECT_EQ(disk->Syncs, 2) << "and not in between";
  // Nothing new: the clock moving on alone syncs nothing.
  At(5000ms);
  writer->Append("e\n");
  ASSERT_TRUE(Synced("e\n"));
  EXPECT_EQ(disk->Syncs, 3);
  EXPECT_EQ(disk->FolderSyncs, 1);
  EXPECT_EQ(disk->Written, "a\nb\nc\nd\ne\n");
}

TEST_F(JournalWriter, StopWithSyncPutsEveryRecordOnTheDiskAndClosesTheFile) {
  At(0ms);
  writer->Append("a\n");
  ASSERT_TRUE(Synced("a\n"));
  At(10ms);
  for (const char* r : {"b\n", "c\n", "d\n"}) writer->Append(r);
  EXPECT_TRUE(writer->Stop(true));
  EXPECT_EQ(disk->Written, "a\nb\nc\nd\n");
  EXPECT_EQ(disk->Synced, disk->Written.size());
  EXPECT_FALSE(disk->Open);
}

TEST_F(JournalWriter, AFailingWriteIsToldAtOnceOnceAndNothingIsWrittenAfterIt) {
  disk->FailAppendFrom = 3;
  std::atomic<int> told{0};
  std::promise<QString> reasonGiven;
  writer->SetFailureHandler([&](const QString& r) {
    if (++told == 1) reasonGiven.set_value(r);
  });
  At(0ms);
  for (const char* r : {"a\n", "b\n", "c\n", "d\n"}) writer->Append(r);
  std::future<QString> told1 = reasonGiven.get_future();
  ASSERT_EQ(told1.wait_for(10s), std::future_status::ready) << "the failure was not told";
  const QString reason = told1.get();
  ASSERT_TRUE(writer->Stop(true));
  EXPECT_EQ(told, 1);
  EXPECT_EQ(reason, "No space left on device");
  EXPECT_EQ(writer->Failure(), reason);
  EXPECT_EQ(disk->Written, "a\nb\n") << "the file ends with whole records";
  EXPECT_EQ(disk->Appends, 3) << "nothing is tried after the failure";
}

TEST_F(JournalWriter, ASyncTheDiskRefusesIsAFailure) {
  disk->FailSync = true;
  std::promise<QString> reasonGiven;
  writer->SetFailureHandler([&](const QString& r) { reasonGiven.set_value(r); });
  writer->Append("a\n");
  std::future<QString> reason = reasonGiven.get_future();
  ASSERT_EQ(reason.wait_for(10s), std::future_status::ready) << "the failure was not told";
  EXPECT_EQ(reason.get(), "the disk did not take the written data (Input/output error)");
  ASSERT_TRUE(writer->Stop(false));
}

TEST_F(JournalWriter, StopDoesNotWaitForADiskThatHangsAndTheThreadFinishesOnItsOwn) {
  disk->HoldSync = true;
  At(0ms);
  writer->Append("a\n");
  ASSERT_TRUE(disk->WaitFor([this] { return disk->InSync; }));
  writer->Append("b\n");
  // A test that would hang on a Stop waiting for the disk fails instead: the disk is let go
  // after a while, and Stop then reports the thread had ended.
  std::atomic<bool> stopped{false};
  std::thread release([&] {
    for (int i = 0; i < 200 && !stopped; ++i) std::this_thread::sleep_for(100ms);
    disk->ReleaseSync();
  });
  const bool ended = writer->Stop(true);
  stopped = true;
  release.join();
  EXPECT_FALSE(ended) << "Stop waited for the disk";
  writer.reset();
  disk->ReleaseSync();
  ASSERT_TRUE(disk->WaitFor([this] { return !disk->Open; }));
  EXPECT_EQ(disk->Written, "a\nb\n") << "the records given before Stop are written all the same";
  EXPECT_EQ(disk->Synced, disk->Written.size());
}
