#include "core/RegisterMap.h"
#include "cli/Commands.h"
#include "cli/Console.h"
#include "cli/ProgressBar.h"
#include "cli/SupplyIdentity.h"
#include "cli/Units.h"
#include "flasher/BootPort.h"
#include "flasher/stm32_flasher.h"

#include <QFile>

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

// Leaves the supply's firmware for its bootloader; false when the supply must not be updated.
bool HandOver(TSyncMaster& aMaster, TProgressBar& aBar, int& aExit) {
  TSupply supply;
  const TCallResult r = IdentifySupply(aMaster, supply);
  if (r.NoAnswer()) {
    // Nothing answers Modbus: a supply that already waits in its bootloader can still be flashed.
    aBar.Line("No Modbus answer (" + r.Text() + "): trying the bootloader directly");
    aMaster.Close();
    return true;
  }
  if (!r.Ok()) {
    aExit = ReportFailure("identification", r);
    return false;
  }
  if (supply.Model.Version < TVersion::ver_40) {
    PrintError(QString("%1 (%2): the update needs firmware 4.0 or later")
                   .arg(supply.Caption, FirmwareClassName(supply.Model.Version)));
    aExit = kExitFailed;
    return false;
  }
  aBar.Line("Jumping to the bootloader of " + supply.Caption + " ...");
  aMaster.WriteOneUnanswered(Reg::CMD, Reg::kCmdJumpBoot);
  TSyncMaster::Pause(kCloseAfterJumpMs);
  aMaster.Close();
  TSyncMaster::Pause(kBootAfterCloseMs);
  return true;
}

}  // namespace

int RunFlash(TCliContext& aContext) {
  const TCliOptions& o = aContext.Options;
  TKRCOMPortConnector* serial = aContext.Master.Serial();
  if (!serial) {
    PrintError("flash needs the serial port");
    return kExitUsage;
  }
  // The image is checked before the supply is asked to leave its firmware.
  {
    QFile image(o.FileName);
    if (!image.open(QIODevice::ReadOnly)) {
      PrintError(QString("Cannot open file \"%1\". %2").arg(o.FileName, image.errorString()));
      return kExitUsage;
    }
  }
  TProgressBar bar(TProgressBar::StderrIsTerminal());
  int exit = kExitOk;
  if (!HandOver(aContext.Master, bar, exit)) return exit;

  TKRCOMPort& port = *serial->ComPort();
  TPortGiveBack giveBack(port);
  if (!OpenForBootloader(port)) {
    PrintError(QString("Cannot open the port %1 for the update").arg(port.Port()));
    return kExitFailed;
  }
  TSTM32_Flasher flasher(&port);
  flasher.SetOnWriteln([&bar](void*, const QString& aMessage) { bar.Line(aMessage); });
  flasher.SetOnProgress(
      [&bar](void*, int32_t aCurrent, int32_t aMax) { bar.Update(aCurrent, aMax); });
  bool done = false;
  try {
    done = flasher.FlashFile(o.FileName, o.Verify);
  } catch (const std::exception& e) {
    bar.Finish();
    PrintError(QString::fromLocal8Bit(e.what()));
    return kExitFailed;
  }
  bar.Finish();
  if (!done) PrintError("the update did not complete; see the log above");
  return done ? kExitOk : kExitFailed;
}
