#include "flasher/stm32_flasher.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <thread>

namespace {

constexpr uint8_t kGet = 0x00, kGetId = 0x02, kReadMemory = 0x11, kGo = 0x21, kWriteMemory = 0x31,
                  kErase = 0x43, kExtendedErase = 0x44, kWriteUnprotect = 0x73,
                  kReadoutUnprotect = 0x92;

// Slice of every wait: the longest the thread sleeps before it looks at the port again.
constexpr uint32_t kSliceMs = 5;
// Waits shorter than this leave the windows alone (an ACK normally comes within a byte time);
// longer ones repaint them at most every kServiceEveryMs.
constexpr uint32_t kServiceAfterMs = 20;
constexpr uint32_t kServiceEveryMs = 10;
// The bytes of an answer leave the device back to back but reach the program in bursts: a USB
// adapter holds them for up to 16 ms, and a loaded machine may hand them on tens of
// milliseconds later still. So an answer is read to the length it announces, and a block read
// back ends in error only after this long without a new byte (256 bytes take 73 ms on the line).
constexpr uint32_t kBlockQuietMs = 1000;
// Filler bytes go out in chunks until the bootloader answers; the longest frame we send, a block
// of data, is 258 bytes. 0xFF completes any frame without harm: a data frame of 0xFF programs
// erased bytes, five make an address outside the flash, and as an erase argument it asks for a
// mass erase whose check byte is wrong. Two in a row are a command whose complement is wrong.
constexpr uint8_t kFiller = 0xFF;
constexpr uint32_t kFillerChunk = 16;
constexpr uint32_t kLongestFrame = 258;
// How long the answer to the last filler bytes may take, and how long the line must stay quiet
// before the answers to the surplus ones are taken to be all in.
constexpr uint32_t kFillerAnswerMs = 500;
constexpr uint32_t kQuietMs = 200;
constexpr uint32_t kDrainLimitMs = 2000;

// Millisecond tick counter; differences of it survive the wrap-around.
uint32_t Tick() {
  using namespace std::chrono;
  return static_cast<uint32_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void SleepMs(uint32_t aMs) { std::this_thread::sleep_for(std::chrono::milliseconds(aMs)); }

struct TDeviceEntry {
  uint32_t Pid;
  const char* Name;
  uint32_t FlashSize;
};

constexpr TDeviceEntry kDevices[] = {
    {0x438, "STM32F303x4(6/8)/F334xx/F328xx", 65536},
    {0x468, "STM32G431xx/441xx", 65536},
    {0x420, "STM32F10x", 65536},
    {0x414, "STM32F101/103 HD", 262144},
};
constexpr TDeviceEntry kUnknownDevice{0, "Unknowndevice", 65536};

int32_t BlocksOf(qint64 aSize) { return static_cast<int32_t>(aSize / 256 + (aSize % 256 > 0 ? 1 : 0)); }

}  // namespace

TSTM32_Flasher::TSTM32_Flasher(TKRCOMPort* aComPort) : fComPort(aComPort) {}

void TSTM32_Flasher::report(const QString& aMessage) {
  if (fOnWriteln) fOnWriteln(this, aMessage);
}

void TSTM32_Flasher::progress(int32_t Current, int32_t Max) {
  if (fOnProgress) fOnProgress(this, Current, Max);
}

void TSTM32_Flasher::service_gui(uint32_t aWaitedMs) {
  if (aWaitedMs < kServiceAfterMs || Tick() - fLastService < kServiceEveryMs) return;
  const QCoreApplication* app = QCoreApplication::instance();
  if (!app || app->thread() != QThread::currentThread()) return;
  fLastService = Tick();
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void TSTM32_Flasher::wait_input(uint32_t aMs, uint32_t aWaitedMs) {
  service_gui(aWaitedMs);
  if (fComPort->InputCount() > 0) return;
  // A port whose far end hung up wakes the wait at once, every time, with nothing to read:
  // sleep the slice instead of turning this into a busy loop.
  if (fComPort->WaitForInput(aMs) != swTimeout && fComPort->InputCount() == 0) SleepMs(aMs);
}

void TSTM32_Flasher::pause(uint32_t aMs) {
  const uint32_t start = Tick();
  for (uint32_t waited = 0; waited < aMs; waited = Tick() - start) {
    service_gui(waited + kServiceAfterMs);
    SleepMs(std::min(kSliceMs, aMs - waited));
  }
}

bool TSTM32_Flasher::await_answer(uint32_t aMs) {
  const uint32_t start = Tick();
  fRx[0] = 0;
  do {
    wait_input(kSliceMs, Tick() - start);
    // One byte a cycle: anything but ACK or NACK is skipped.
    if (fComPort->InputCount() > 0) {
      const int32_t n = fComPort->Read(fRx.data(), 1);
      if (n == 1 && fRx[0] == kAck) return true;
    }
    if (fRx[0] == kNack) return true;
  } while (Tick() - start <= aMs);
  return false;
}

int32_t TSTM32_Flasher::wait_ack() {
  fOutOfStep = !await_answer(fTimeout);
  if (fOutOfStep) {
    report("ACK response timeout!");
    return 1;
  }
  return fRx[0] == kAck ? 0 : 1;
}

void TSTM32_Flasher::drain_until_quiet() {
  const uint32_t start = Tick();
  uint32_t lastByte = start;
  while (Tick() - lastByte < kQuietMs && Tick() - start < kDrainLimitMs) {
    if (fComPort->InputCount() == 0) {
      wait_input(kSliceMs, Tick() - start);
      continue;
    }
    if (fComPort->Read(fRx.data(), static_cast<int32_t>(fRx.size())) > 0) lastByte = Tick();
  }
}

bool TSTM32_Flasher::resync() {
  report("No answer: sending filler bytes in case the bootloader waits for the rest of a frame");
  drain_until_quiet();
  std::array<uint8_t, kFillerChunk> filler;
  filler.fill(kFiller);
  const uint32_t start = Tick();
  bool answered = false;
  for (uint32_t sent = 0; !answered && sent < kLongestFrame + kFillerChunk; sent += kFillerChunk) {
    fComPort->Write(filler.data(), static_cast<int32_t>(filler.size()));
    answered = await_answer(0);
    service_gui(Tick() - start + kServiceAfterMs);
  }
  if (!answered) answered = await_answer(kFillerAnswerMs);
  if (!answered) {
    report("No answer to the filler bytes either");
    return false;
  }
  // The surplus filler bytes are answered too, and one of them may wait as the first byte of a
  // command: 0x7F completes that one with a wrong complement, and is otherwise taken as a command
  // of its own, which the next 0x7F completes. Either way a NACK means the next byte starts a
  // command.
  drain_until_quiet();
  for (int attempt = 0; attempt < 2; ++attempt) {
    const uint8_t activate = kActivate;
    fComPort->Write(&activate, 1);
    if (await_answer(kFillerAnswerMs)) {
      fOutOfStep = false;
      report("Bootloader in step again");
      return true;
    }
  }
  report("The bootloader answered the filler bytes but not the activation byte after them");
  return false;
}

bool TSTM32_Flasher::stop_requested() {
  if (!fStopRequest || !fStopRequest()) return false;
  if (!fStopReported) report("Stop requested: the update ends here");
  fStopReported = true;
  return true;
}

uint32_t TSTM32_Flasher::read_answer(int32_t aMax) {
  fRx.fill(0);
  const uint32_t start = Tick();
  int32_t got = 0;
  // After its ACK an answer is N, then N + 1 bytes, then its closing ACK.
  const auto wanted = [&] { return got > 0 ? std::min<int32_t>(fRx[0] + 3, aMax) : aMax; };
  while (got < wanted() && Tick() - start <= fTimeout) {
    if (fComPort->InputCount() == 0) {
      wait_input(kSliceMs, Tick() - start);
      continue;
    }
    got += std::max(fComPort->Read(fRx.data() + got, wanted() - got), 0);
  }
  return static_cast<uint32_t>(got);
}

void TSTM32_Flasher::ack_error(const QString& caller) {
  if (fRx[0] == kNack)
    report(QString("NACK in %1").arg(caller));
  else
    report(QString::asprintf("Received 0x%02x in ", fRx[0]) + caller);
}

int32_t TSTM32_Flasher::send_frame_wait_ack(const uint8_t* aFrame, int32_t aCount) {
  fComPort->Write(aFrame, aCount);
  return wait_ack();
}

int32_t TSTM32_Flasher::send_1byte_wait_ack(uint8_t byte1) {
  const uint8_t frame[] = {byte1, static_cast<uint8_t>(byte1 ^ 0xFF)};
  return send_frame_wait_ack(frame, sizeof frame);
}

int32_t TSTM32_Flasher::send_2bytes_wait_ack(uint8_t byte1, uint8_t byte2) {
  const uint8_t frame[] = {byte1, byte2, static_cast<uint8_t>(byte1 ^ byte2)};
  return send_frame_wait_ack(frame, sizeof frame);
}

int32_t TSTM32_Flasher::send_3bytes_wait_ack(uint8_t byte1, uint8_t byte2, uint8_t byte3) {
  const uint8_t frame[] = {byte1, byte2, byte3, static_cast<uint8_t>(byte1 ^ byte2 ^ byte3)};
  return send_frame_wait_ack(frame, sizeof frame);
}

int32_t TSTM32_Flasher::send_4bytes_wait_ack(uint8_t byte1, uint8_t byte2, uint8_t byte3,
                                             uint8_t byte4) {
  const uint8_t frame[] = {byte1, byte2, byte3, byte4,
                           static_cast<uint8_t>(byte1 ^ byte2 ^ byte3 ^ byte4)};
  return send_frame_wait_ack(frame, sizeof frame);
}

int32_t TSTM32_Flasher::send_address(uint32_t aAddress) {
  return send_4bytes_wait_ack(static_cast<uint8_t>(aAddress >> 24), static_cast<uint8_t>(aAddress >> 16),
                              static_cast<uint8_t>(aAddress >> 8), static_cast<uint8_t>(aAddress));
}

QString TSTM32_Flasher::get_device_string(uint32_t pid) {
  const auto* found = std::find_if(std::begin(kDevices), std::end(kDevices),
                                   [pid](const TDeviceEntry& e) { return e.Pid == pid; });
  const TDeviceEntry& entry = found != std::end(kDevices) ? *found : kUnknownDevice;
  fflash_size = entry.FlashSize;
  return QString::fromLatin1(entry.Name);
}

int32_t TSTM32_Flasher::autobaud() {
  // Whatever the firmware left on the line would be taken for the answer.
  uint8_t stale = 0;
  while (fComPort->InputCount() > 0)
    if (fComPort->Read(&stale, 1) != 1) break;
  const uint8_t activate = kActivate;
  fComPort->Write(&activate, 1);
  fTimeout = 2000;
  int32_t r = wait_ack();
  // A bootloader activated by an earlier attempt takes 0x7F for a command and refuses it: it is
  // ready, and the device can be flashed again without switching it off. One that an earlier
  // attempt left in the middle of a frame takes it for a byte of that frame.
  if (r != 0 && fRx[0] != kNack && resync()) r = 0;
  if (r != 0 && fRx[0] == kNack) report("Bootloader already active");
  if (r == 0 || fRx[0] == kNack) {
    fActivated = true;
    report("Activating device: OK");
    return 0;
  }
  report("Activating device: FAILED !!!");
  ack_error("Activating device");
  return 1;
}

int32_t TSTM32_Flasher::get_cmd() {
  fTimeout = 2000;
  if (send_1byte_wait_ack(kGet) != 0) {
    report("Bootloader version undefinite");
    ack_error("Get Command");
    return 1;
  }
  fbytes_read = read_answer(30);
  if (fbytes_read >= 1)
    report(QString::asprintf("Bootloader version : %x.%x", fRx[1] >> 4, fRx[1] & 0x0F));
  if (fbytes_read < 8) {
    report(fbytes_read == 0 ? QString("Get Command: no answer after the ACK")
                            : QString("Get Command: answer of %1 bytes, at least 8 expected").arg(fbytes_read));
    return 1;
  }
  // The seventh command code, after the count, the version and 00 01 02 11 21 31.
  if (fRx[8] == kErase) fext_erase = 1;
  if (fRx[8] == kExtendedErase) fext_erase = 2;
  return 0;
}

int32_t TSTM32_Flasher::get_pidvid() {
  fTimeout = 2000;
  if (send_1byte_wait_ack(kGetId) != 0) {
    report("Device ID failed");
    ack_error("Get ID");
    return 1;
  }
  fbytes_read = read_answer(30);
  if (fbytes_read > 1) fpid = uint32_t{fRx[1]} * 256 + fRx[2];
  report(QString("Device : %1 ").arg(get_device_string(fpid)));
  return 0;
}

int32_t TSTM32_Flasher::erase() {
  fTimeout = 10000;
  if (fext_erase != 1 && fext_erase != 2) {
    report("The bootloader offers no erase command: nothing is erased or written");
    return 1;
  }
  if (send_1byte_wait_ack(fext_erase == 1 ? kErase : kExtendedErase) != 0) {
    ack_error("erase");
    return 1;
  }
  // Global erase: 0xFF with its complement, or the mass-erase code 0xFFFF with its check. A NACK
  // refuses it before anything is erased; without an answer it may have been done.
  fEraseAsked = true;
  const int32_t r = fext_erase == 1 ? send_1byte_wait_ack(0xFF) : send_2bytes_wait_ack(0xFF, 0xFF);
  if (r != 0) {
    fEraseAsked = fOutOfStep;
    report("Erase failed");
    return 1;
  }
  fErased = true;
  report("Erase complete OK");
  return 0;
}

int32_t TSTM32_Flasher::flash(QIODevice& aFile) {
  const qint64 size = aFile.size();
  const int32_t blocks = BlocksOf(size);
  fState.Blocks = blocks;
  fState.BlocksWritten = 0;
  uint32_t address = kFlashBase;
  for (int32_t k = 0; k < blocks; ++k) {
    if (stop_requested()) return 1;
    fTimeout = 2000;
    if (send_1byte_wait_ack(kWriteMemory) != 0) {
      ack_error("Sending write command");
      return 1;
    }
    if (send_address(address) != 0) {
      ack_error("Sending address");
      return 1;
    }
    // The tail of the last block is padded with the erased value; a short read is not padded.
    fTx.fill(0xFF);
    fTx[0] = 0xFF;  // 256 bytes follow, sent as N - 1
    const qint64 offset = qint64{k} * 256;
    const qint64 want = std::min<qint64>(256, size - offset);
    const qint64 got = aFile.read(reinterpret_cast<char*>(fTx.data() + 1), want);
    if (got != want) {
      report(QString("Cannot read the image file: %1 of %2 bytes read")
                 .arg(offset + std::max<qint64>(got, 0))
                 .arg(size));
      return 1;
    }
    uint8_t check = 0;
    for (size_t i = 0; i < 257; ++i) check ^= fTx[i];
    fTx[257] = check;
    if (fComPort->Write(fTx.data(), static_cast<int32_t>(fTx.size())) != static_cast<int32_t>(fTx.size()))
      report("Buffer truncated");
    if (wait_ack() != 0) {
      ack_error("Write");
      return 1;
    }
    ++fState.BlocksWritten;
    address += 256;
    progress(k, blocks);
  }
  progress(blocks, blocks);
  return 0;
}

int32_t TSTM32_Flasher::device_read(QByteArray& aMS) {
  const uint32_t size = static_cast<uint32_t>(aMS.size());
  const int32_t blocks = BlocksOf(size);
  pause(50);
  uint32_t address = kFlashBase;
  while (address < kFlashBase + size) {
    if (stop_requested()) return 1;
    fTimeout = 200;
    if (send_1byte_wait_ack(kReadMemory) != 0) {
      ack_error("Sending read command");
      return 1;
    }
    if (send_address(address) != 0) {
      ack_error("Sending read address");
      return 1;
    }
    const int32_t count = static_cast<int32_t>(std::min<uint32_t>(256, kFlashBase + size - address));
    if (send_1byte_wait_ack(static_cast<uint8_t>(count - 1)) != 0) {
      ack_error("Sending number of bytes to read command");
      return 1;
    }
    const uint32_t start = Tick();
    uint32_t lastByte = start;
    int32_t seen = fComPort->InputCount();
    while (seen < count && Tick() - lastByte <= kBlockQuietMs) {
      // Part of the block is in: the poll would return at once, so sleep a little instead.
      if (seen > 0)
        SleepMs(1);
      else
        wait_input(kSliceMs, Tick() - start);
      const int32_t now = fComPort->InputCount();
      if (now != seen) {
        seen = now;
        lastByte = Tick();
      }
    }
    const int32_t n = fComPort->Read(fRx.data(), count);
    fbytes_read = static_cast<uint32_t>(std::max(n, 0));
    if (n != count) {
      // Late bytes of the block may still come.
      fOutOfStep = true;
      report("Read bytes error");
      return 1;
    }
    std::memcpy(aMS.data() + (address - kFlashBase), fRx.data(), static_cast<size_t>(count));
    address += fbytes_read;
    progress(static_cast<int32_t>((address - kFlashBase) / 256), blocks);
  }
  progress(blocks, blocks);
  return 0;
}

int32_t TSTM32_Flasher::go() {
  fTimeout = 2000;
  if (send_1byte_wait_ack(kGo) != 0) {
    ack_error("Go command");
    return 1;
  }
  if (send_address(kFlashBase) != 0) {
    report("Start failed");
    return 1;
  }
  return 0;
}

int32_t TSTM32_Flasher::execute() {
  if (go() != 0) return 1;
  report("Started OK");
  return 0;
}

int32_t TSTM32_Flasher::read_unprotect() {
  fTimeout = 2000;
  if (send_1byte_wait_ack(kReadoutUnprotect) != 0) return 1;
  pause(1000);
  fRx[0] = 0;
  fComPort->Read(fRx.data(), 1);
  if (fRx[0] != kAck) return 1;
  pause(2000);  // the controller resets
  return autobaud();
}

int32_t TSTM32_Flasher::write_unprotect() {
  fTimeout = 2000;
  if (send_1byte_wait_ack(kWriteUnprotect) != 0) return 1;
  fRx[0] = 0;
  fComPort->Read(fRx.data(), 1);
  if (fRx[0] != kAck) return 1;
  pause(2000);
  return autobaud();
}

bool TSTM32_Flasher::FlashFile(const QString& aFileName, bool Verify) {
  const bool intact = fState.LeftIntactFirmware;
  fState = TFlashState{};
  fState.LeftIntactFirmware = intact;
  fState.VerifyAsked = Verify;
  fActivated = fEraseAsked = fErased = fOutOfStep = fStopReported = false;
  QFile file(aFileName);
  // Read from the disk as each block is written: a file that fails or shrinks meanwhile is
  // noticed at that block, not padded.
  if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
    const std::string why =
        QString("Cannot open file \"%1\". %2").arg(aFileName, file.errorString()).toStdString();
    // A device that has just left its firmware gets it back before the error goes up.
    if (intact) {
      autobaud();
      stopped();
    } else {
      report("Update stopped: " + StateText());
    }
    throw std::runtime_error(why);
  }
  if (write_image(file, aFileName, Verify)) {
    fState.Outcome = TFlashOutcome::Started;
    return true;
  }
  stopped();
  return false;
}

bool TSTM32_Flasher::write_image(QFile& file, const QString& aFileName, bool Verify) {
  if (autobaud() != 0) return false;
  const qint64 size = file.size();
  report(QString("File %1").arg(QFileInfo(aFileName).fileName()));
  report(QString("File size is %1").arg(size));
  if (stop_requested() || get_cmd() != 0 || get_pidvid() != 0) return false;
  // Erasing for an image that cannot be written would leave the device without firmware.
  if (size == 0) {
    report("File is empty: nothing is erased or written");
    return false;
  }
  if (size > fflash_size) {
    report(QString("File is larger than the flash of %1 bytes: nothing is erased or written")
               .arg(fflash_size));
    return false;
  }
  if (stop_requested() || erase() != 0) return false;

  report("Writting ...");
  if (flash(file) != 0) {
    if (!fStopReported) report(QString("Error writing file %1").arg(aFileName));
    return false;
  }
  fState.Written = true;
  report("File is written OK");
  if (Verify) {
    progress(0, 100);
    QByteArray readBack(static_cast<qsizetype>(size), '\0');
    report("Verification ...");
    pause(50);
    if (device_read(readBack) != 0) {
      report("Verification failed. Please turn the device off and on.");
      return false;
    }
    file.seek(0);
    const QByteArray image = file.read(size);
    if (image.size() != size) {
      report(QString("Cannot read the image file: %1 of %2 bytes read").arg(image.size()).arg(size));
      return false;
    }
    if (image != readBack) {
      report("Verify error !!!");
      return false;
    }
    fState.Verified = true;
    report("Verify OK");
  }
  return execute() == 0;
}

void TSTM32_Flasher::stopped() {
  if (fActivated && fOutOfStep) resync();
  TFlashOutcome& outcome = fState.Outcome;
  if (fErased)
    outcome = fState.Written && (fState.Verified || !fState.VerifyAsked) ? TFlashOutcome::NotStarted
                                                                          : TFlashOutcome::FlashErased;
  else if (fEraseAsked)
    outcome = TFlashOutcome::EraseUnconfirmed;
  else if (!fActivated)
    outcome = TFlashOutcome::NotReached;
  else if (fState.LeftIntactFirmware && go() == 0)
    outcome = TFlashOutcome::FirmwareRestarted;
  else
    outcome = TFlashOutcome::InBootloader;
  report("Update stopped: " + StateText());
}

QString FlashStateText(const TFlashState& aState) {
  switch (aState.Outcome) {
    case TFlashOutcome::Started: return "the new firmware was started";
    case TFlashOutcome::NothingSent: return "nothing was sent to the bootloader: nothing was erased";
    case TFlashOutcome::NotReached:
      return aState.LeftIntactFirmware ? "the bootloader did not answer: nothing was erased; the supply's "
                                         "firmware is intact: switch the supply off and on"
                                       : "the bootloader did not answer: nothing was erased";
    case TFlashOutcome::FirmwareRestarted: return "nothing was erased; the supply's firmware is intact and was restarted";
    case TFlashOutcome::InBootloader: return "nothing was erased; the supply waits in its bootloader: run the update again";
    case TFlashOutcome::EraseUnconfirmed:
      return "the erase was not confirmed, so the flash may be erased: run the update again";
    case TFlashOutcome::FlashErased:
      if (aState.Written) return "the image is written but not verified: run the update again";
      if (aState.BlocksWritten == 0) return "the flash is erased: run the update again";
      return QString("the flash is erased and %1 of %2 blocks are written: run the update again")
          .arg(aState.BlocksWritten)
          .arg(aState.Blocks);
    case TFlashOutcome::NotStarted:
      return aState.Verified ? "the image is written and verified; the supply did not restart: power-cycle it"
                             : "the image is written (not verified); the supply did not restart: power-cycle it";
  }
  return {};
}
