#pragma once
// What the bootloader tests need around the flasher: a private folder, images on disk, the
// supply's jump into its bootloader, a port opened as the update opens it, a scripted line that
// runs the simulator's bootloader with its answers edited, and the flasher's log and progress.

#include "flasher/stm32_flasher.h"
#include "modbus/KRCOMPort.h"
#include "sim/Bootloader.h"
#include "sim/PseudoTerminal.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace kelvora::test {

using Bytes = std::vector<uint8_t>;

QByteArray RandomImage(int size, unsigned seed = 1);
void WriteImage(const QString& path, const QByteArray& image);
QByteArray ReadImage(const QString& path);
QStringList TraceLines(const QString& path);
int CountContaining(const QStringList& lines, const QString& part);

// Writes the jump code to the CMD register over RTU at 9600 baud, as the firmware expects it.
void JumpToBootloader(const std::string& pty);

// The port as the update hands it to the flasher: 38400 baud, even parity, open.
std::unique_ptr<TKRCOMPort> OpenBootPort(const std::string& pty);

// Collects what a flasher reports.
struct FlasherLog {
  QStringList Lines;
  std::vector<std::pair<int32_t, int32_t>> Progress;
  void Attach(TSTM32_Flasher& flasher);
};

// A line of our own whose far end is the simulator's bootloader; Edit may change (or swallow)
// each answer before it goes back (Reply sees the bytes it answers too), Noise is sent before
// anything else, and bytes sent to it may be lost on the way.
class ScriptedBootloader {
 public:
  using Edit = std::function<Bytes(Bytes)>;
  using Reply = std::function<Bytes(Bytes answer, const Bytes& request)>;
  explicit ScriptedBootloader(Edit edit = {}, uint16_t pid = 0x438);
  explicit ScriptedBootloader(Reply reply, uint16_t pid = 0x438);
  ~ScriptedBootloader();
  ScriptedBootloader(const ScriptedBootloader&) = delete;
  ScriptedBootloader& operator=(const ScriptedBootloader&) = delete;

  const std::string& Path() const { return path_; }
  // Bytes waiting on the line before the flasher starts.
  void SendNoise(const Bytes& bytes);
  // Answers of more than one byte arrive in two bursts this far apart, as through a USB
  // adapter or on a loaded machine.
  std::atomic<int> GapMs{0};
  // The bytes sent to the bootloader from the index aFrom on (counting from the first, 0) are
  // lost, aCount of them, as when a cable is pulled and plugged back.
  void Lose(size_t aFrom, size_t aCount) {
    loseFrom_ = aFrom;
    loseCount_ = aCount;
  }
  QStringList Trace() const { return TraceLines(dir_.filePath("trace.jsonl")); }
  QByteArray FlashImage() const { return ReadImage(dir_.filePath("flash.bin")); }

 private:
  void Run();
  QTemporaryDir dir_;
  kpxsim::SimClock clock_;
  kpxsim::Trace trace_;
  kpxsim::FaultPlan faults_;
  kpxsim::FlashMemory flash_;
  kpxsim::Bootloader boot_;
  kpxsim::PseudoTerminal pty_;
  std::string path_;
  Reply reply_;
  std::atomic<size_t> loseFrom_{0}, loseCount_{0};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace kelvora::test
