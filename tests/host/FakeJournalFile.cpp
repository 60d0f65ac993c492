#include "tests/host/FakeJournalFile.h"

#include <chrono>

namespace {
class TFakeJournalFile final : public TJournalFile {
 public:
  explicit TFakeJournalFile(std::shared_ptr<TFakeDisk> disk) : fDisk(std::move(disk)) {}

  bool Create(const QString& path) override {
    const std::lock_guard<std::mutex> lock(fDisk->Mutex);
    fDisk->Path = path;
    fDisk->Open = true;
    fDisk->Changed.notify_all();
    return true;
  }
  TJournalOpen Open(const QString&) override { return TJournalOpen::Failed; }
  void Close() override {
    const std::lock_guard<std::mutex> lock(fDisk->Mutex);
    fDisk->Open = false;
    fDisk->Changed.notify_all();
  }
  bool Append(const QByteArray& record) override {
    const std::lock_guard<std::mutex> lock(fDisk->Mutex);
    ++fDisk->Appends;
    fDisk->Changed.notify_all();
    if (fDisk->FailAppendFrom > 0 && fDisk->Appends >= fDisk->FailAppendFrom) {
      fError = QStringLiteral("No space left on device");
      return false;
    }
    fDisk->Written += record;
    return true;
  }
  bool ReadAll(QByteArray&, qint64) override { return false; }
  bool DataSync() override {
    std::unique_lock<std::mutex> lock(fDisk->Mutex);
    fDisk->InSync = true;
    fDisk->Changed.notify_all();
    fDisk->Changed.wait(lock, [this] { return !fDisk->HoldSync; });
    fDisk->InSync = false;
    ++fDisk->Syncs;
    if (!fDisk->FailSync) fDisk->Synced = fDisk->Written.size();
    fDisk->Changed.notify_all();
    if (fDisk->FailSync) fError = QStringLiteral("Input/output error");
    return !fDisk->FailSync;
  }
  bool FolderSync() override {
    const std::lock_guard<std::mutex> lock(fDisk->Mutex);
    ++fDisk->FolderSyncs;
    fDisk->Changed.notify_all();
    return true;
  }
  QString ErrorText() const override { return fError; }

 private:
  std::shared_ptr<TFakeDisk> fDisk;
  QString fError;
};
}  // namespace

bool TFakeDisk::WaitFor(const std::function<bool()>& done, int seconds) {
  std::unique_lock<std::mutex> lock(Mutex);
  return Changed.wait_for(lock, std::chrono::seconds(seconds), done);
}

void TFakeDisk::ReleaseSync() {
  const std::lock_guard<std::mutex> lock(Mutex);
  HoldSync = false;
  Changed.notify_all();
}

TJournalFileMaker FakeJournalFiles(const std::shared_ptr<TFakeDisk>& disk) {
  return [disk] { return std::make_unique<TFakeJournalFile>(disk); };
}
