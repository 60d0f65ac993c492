#pragma once
// Client of the STM32 USART bootloader: writes a raw image from 0x08000000, reads it back to
// verify it and starts it. It borrows an open serial port (38400 baud, 8 data bits, even parity)
// and reports a running log and its progress through two events. Everything runs on the
// calling thread; no step is retried. A bootloader that stops answering is brought back in step
// before the update gives up, and an update that stops says in its last log line what reached
// the device: nothing, an erase, some blocks, the whole image with or without its verification.
// It restarts the device's firmware when nothing was erased yet.

#include "modbus/KRCOMPort.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>

class QFile;
class QIODevice;

using TFlasherMessage = std::function<void(void* Sender, const QString& aMessage)>;
using TFlasherProgress = std::function<void(void* Sender, int32_t Current, int32_t Max)>;

// Where an update left the device.
enum class TFlashOutcome {
  Started,            // the new image runs
  NothingSent,        // the image file did not open: the bootloader was not addressed
  NotReached,         // the bootloader never answered: nothing was erased
  FirmwareRestarted,  // stopped before the erase; the firmware it left runs again
  InBootloader,       // stopped before the erase; the device still waits in its bootloader
  EraseUnconfirmed,   // the erase was asked for and never acknowledged: it may have happened
  FlashErased,        // erased, and some of the blocks written (none, or all but not verified)
  NotStarted,         // written, verified when asked: only the start was lost
};

// What reached the device, as far as its answers tell.
struct TFlashState {
  TFlashOutcome Outcome = TFlashOutcome::NothingSent;
  int32_t BlocksWritten = 0;  // acknowledged blocks
  int32_t Blocks = 0;         // blocks of the image
  bool Written = false;       // every block acknowledged
  bool Verified = false;      // the read-back equals the image
  bool VerifyAsked = true;
  bool LeftIntactFirmware = false;
};

// The state for a person: "the flash is erased and 3 of 12 blocks are written: run the update
// again".
QString FlashStateText(const TFlashState& aState);

class TSTM32_Flasher {
 public:
  static constexpr uint32_t kFlashBase = 0x08000000;
  static constexpr uint8_t kAck = 0x79, kNack = 0x1F, kActivate = 0x7F;
  // The largest flash of the device table: no image beyond it fits any device.
  static constexpr uint32_t kLargestFlashSize = 262144;

  explicit TSTM32_Flasher(TKRCOMPort* aComPort);
  TSTM32_Flasher(const TSTM32_Flasher&) = delete;
  TSTM32_Flasher& operator=(const TSTM32_Flasher&) = delete;

  // The whole job: activate, identify, erase, write, verify (when asked) and start. True when
  // the image was written, verified and started. A file that cannot be opened throws
  // std::runtime_error before anything is sent.
  bool FlashFile(const QString& aFileName, bool Verify);
  // Set by a caller that has just asked the device's running firmware to jump to its bootloader:
  // that firmware is intact, so an update that stops before the erase starts it again.
  void SetLeftIntactFirmware(bool Value) { fState.LeftIntactFirmware = Value; }
  // Asked between blocks and steps; true ends the update there (before the erase, the firmware
  // that was left is started again).
  void SetStopRequest(std::function<bool()> Value) { fStopRequest = std::move(Value); }
  // What the last FlashFile left the device in.
  TFlashOutcome Outcome() const { return fState.Outcome; }
  const TFlashState& State() const { return fState; }
  QString StateText() const { return FlashStateText(fState); }

  // Protocol steps: 0 on success, 1 on failure (after their log lines).
  int32_t autobaud();
  int32_t get_cmd();
  int32_t get_pidvid();
  int32_t erase();
  int32_t flash(QIODevice& aFile);
  // aMS is sized to the expected length; the bytes read back are written over it in order.
  int32_t device_read(QByteArray& aMS);
  int32_t execute();
  int32_t read_unprotect();
  int32_t write_unprotect();

  // Frame senders: the bytes followed by their XOR check (a single byte goes with its
  // complement); each returns the result of the ACK wait.
  int32_t send_1byte_wait_ack(uint8_t byte1);
  int32_t send_2bytes_wait_ack(uint8_t byte1, uint8_t byte2);
  int32_t send_3bytes_wait_ack(uint8_t byte1, uint8_t byte2, uint8_t byte3);
  int32_t send_4bytes_wait_ack(uint8_t byte1, uint8_t byte2, uint8_t byte3, uint8_t byte4);

  // Device name of a product ID; also sets FlashSize.
  QString get_device_string(uint32_t pid);
  // Reports why the last ACK wait failed.
  void ack_error(const QString& caller);

  const TFlasherMessage& OnWriteln() const { return fOnWriteln; }
  void SetOnWriteln(TFlasherMessage Value) { fOnWriteln = std::move(Value); }
  const TFlasherProgress& OnProgress() const { return fOnProgress; }
  void SetOnProgress(TFlasherProgress Value) { fOnProgress = std::move(Value); }

  uint32_t BytesRead() const { return fbytes_read; }
  uint32_t ExtErase() const { return fext_erase; }
  uint32_t FlashSize() const { return fflash_size; }
  uint32_t PID() const { return fpid; }

 private:
  int32_t wait_ack();
  // Waits up to aMs for ACK or NACK, skipping other bytes; false when neither came.
  bool await_answer(uint32_t aMs);
  // A frame cut short leaves the bootloader waiting for the rest of it and deaf to commands:
  // filler bytes complete it, and once it answers it is brought back to the start of a command.
  bool resync();
  // Reads and drops input until the line has been quiet for a while.
  void drain_until_quiet();
  // True, once with a log line, when the caller asks the update to end.
  bool stop_requested();
  void report(const QString& aMessage);
  void progress(int32_t Current, int32_t Max);
  // The steps of FlashFile up to the start; false when one failed or refused the image.
  bool write_image(QFile& aFile, const QString& aFileName, bool Verify);
  // After a stopped update: brings the bootloader back in step, restarts the firmware when
  // that is safe and reports the state.
  void stopped();
  // Go to the start of the flash, with the failure lines of the start step.
  int32_t go();
  // Writes the frame in one call and waits for its ACK.
  int32_t send_frame_wait_ack(const uint8_t* aFrame, int32_t aCount);
  int32_t send_address(uint32_t aAddress);
  // Waits up to aMs for input; returns at once when input is already waiting.
  void wait_input(uint32_t aMs, uint32_t aWaitedMs);
  // Keeps the calling thread's windows painted during a long wait, without user input.
  void service_gui(uint32_t aWaitedMs);
  // A pause that keeps the windows painted.
  void pause(uint32_t aMs);
  // Reads the answer that follows an ACK, to the length it announces (at most aMax bytes) or
  // until fTimeout.
  uint32_t read_answer(int32_t aMax);

  uint32_t fbytes_read = 0;
  uint32_t fext_erase = 0;
  uint32_t fflash_size = 0;
  uint32_t fpid = 0;
  uint32_t fTimeout = 100;
  TKRCOMPort* fComPort;
  TFlasherMessage fOnWriteln;
  TFlasherProgress fOnProgress;
  std::function<bool()> fStopRequest;
  uint32_t fLastService = 0;
  TFlashState fState;
  bool fActivated = false;
  bool fEraseAsked = false;  // the erase argument went out
  bool fErased = false;      // and was acknowledged
  bool fOutOfStep = false;   // the last wait for an answer timed out
  bool fStopReported = false;
  std::array<uint8_t, 258> fTx{};
  std::array<uint8_t, 256> fRx{};
};
