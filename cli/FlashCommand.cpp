#include "core/RegisterMap.h"
#include "cli/Commands.h"
#include "cli/Console.h"
#include "cli/ProgressBar.h"
#include "cli/StopRequest.h"
#include "cli/SupplyIdentity.h"
#include "cli/Units.h"
#include "flasher/BootPort.h"
#include "flasher/FirmwareImage.h"
#include "flasher/stm32_flasher.h"

#include <stdexcept>

namespace {

// The hand-over as the update panel paces it: the jump write goes out at once, the Modbus
// connection closes 2 s later, and the bootloader gets the port 6 s after the jump.
constexpr int32_t kCloseAfterJumpMs = 2000;
constexpr int32_t kBootAfterCloseMs = 4000;

// The port goes back to Modbus settings on every way out.
class TPortGiveBack {
 public:
  explicit TPortGiveBack(TKRCOMPort& aPort) : fPort(aPort) {}
  ~TPortGiveBack() { GiveBackToModbus(fPort); }
  TPortGiveBack(const TPortGiveBack&) = delete;
  TPortGiveBack& operator=(const TPortGiveBack&) = delete;

 private:
  TKRCOMPort& fPort;
};

enum class THandOver { Jumped, NoFirmware, Refused };

// Leaves the supply's firmware for its bootloader. A supply that gives no valid Modbus answer may
// already wait in its bootloader (an update that failed leaves it there, and an active bootloader
// answers a Modbus frame with NACK bytes): the bootloader is then tried directly.
THandOver HandOver(TSyncMaster& aMaster, TProgressBar& aBar, int& aExit) {
  TSupply supply;
  const TCallResult r = IdentifySupply(aMaster, supply);
  if (!r.Ok() && !r.Refused()) {
    aBar.Line("No valid Modbus answer (" + r.Text() + "): trying the bootloader directly");
    aMaster.Close();
    return THandOver::NoFirmware;
  }
  if (!r.Ok()) {
    aExit = ReportFailure("identification", r);
    return THandOver::Refused;
  }
  if (supply.Model.Version < TVersion::ver_40) {
    PrintError(QString("%1 (%2): the update needs firmware 4.0 or later")
                   .arg(supply.Caption, FirmwareClassName(supply.Model.Version)));
    aExit = kExitFailed;
    return THandOver::Refused;
  }
  if (StopRequested()) {
    PrintError("stopped before the jump: nothing was sent to the bootloader; the supply's firmware runs on");
    aExit = kExitFailed;
    return THandOver::Refused;
  }
  aBar.Line("Jumping to the bootloader of " + supply.Caption + " ...");
  aMaster.WriteOneUnanswered(Reg::CMD, Reg::kCmdJumpBoot);
  TSyncMaster::Pause(kCloseAfterJumpMs);
  aMaster.Close();
  TSyncMaster::Pause(kBootAfterCloseMs);
  return THandOver::Jumped;
}

}  // namespace

int RunFlash(TCliContext& aContext) {
  const TCliOptions& o = aContext.Options;
  TKRCOMPortConnector* serial = aContext.Master.Serial();
  if (!serial) {
    PrintError("flash needs the serial port");
    return kExitUsage;
  }
  // The image is checked whole before the supply is asked to leave its firmware.
  if (const QString problem = ImageFileProblem(o.FileName, TSTM32_Flasher::kLargestFlashSize);
      !problem.isEmpty()) {
    PrintError(problem + ": nothing was sent to the supply");
    return kExitUsage;
  }
  // Ctrl-C ends the update between two blocks, with the state it left the supply in.
  InstallStopRequest();
  TProgressBar bar(TProgressBar::StderrIsTerminal());
  int exit = kExitOk;
  const THandOver handOver = HandOver(aContext.Master, bar, exit);
  if (handOver == THandOver::Refused) return exit;
  const bool jumped = handOver == THandOver::Jumped;

  TKRCOMPort& port = *serial->ComPort();
  TPortGiveBack giveBack(port);
  if (!OpenForBootloader(port)) {
    PrintError(QString("Cannot open the port %1 for the update").arg(port.Port()));
    return kExitFailed;
  }
  TSTM32_Flasher flasher(&port);
  flasher.SetLeftIntactFirmware(jumped);
  flasher.SetStopRequest(StopRequested);
  flasher.SetOnWriteln([&bar](void*, const QString& aMessage) { bar.Line(aMessage); });
  flasher.SetOnProgress(
      [&bar](void*, int32_t aCurrent, int32_t aMax) { bar.Update(aCurrent, aMax); });
  bool done = false;
  try {
    done = flasher.FlashFile(o.FileName, o.Verify);
  } catch (const std::exception& e) {
    bar.Finish();
    PrintError(QString::fromLocal8Bit(e.what()) + "; " + flasher.StateText());
    return kExitFailed;
  }
  bar.Finish();
  if (done) return kExitOk;
  // Without an answer from either, an earlier update may well have left the flash erased.
  if (!jumped && flasher.Outcome() == TFlashOutcome::NotReached)
    PrintError("neither the supply's firmware nor its bootloader answered on " + o.Port +
               ": nothing was erased now, but an earlier update may have left the flash erased");
  else
    PrintError("the update did not complete: " + flasher.StateText());
  return kExitFailed;
}
