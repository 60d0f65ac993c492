#include "advanced/FirmwareUpdate.h"

#include "core/Dialogs.h"
#include "core/ErrorReport.h"
#include "flasher/BootPort.h"
#include "flasher/FirmwareImage.h"
#include "flasher/stm32_flasher.h"
#include "modbus/KRCOMPort.h"

#include <QCoreApplication>
#include <QDialog>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr int32_t kHandOverTicks = 5;

const char* const kInfoText =
    "The update is avialable for alternative firmware starting from version 4.0\n\n"
    "To update the firmware via USB/UART select the file and click \"Start Update\"\n\n"
    "WARNING: You can't update the firmware via Bluetooth or Wi-Fi !!!";

QPushButton* MakeButton(QWidget* aParent, const char* aName, const char* aCaption) {
  auto* b = new QPushButton(aCaption, aParent);
  b->setObjectName(aName);
  return b;
}

}  // namespace

TUpdateLink UpdateLinkOf(const QString& aPortEntry) {
  if (aPortEntry == "TCP") return TUpdateLink::Tcp;
  if (aPortEntry.contains("BT")) return TUpdateLink::Bluetooth;
  return TUpdateLink::Serial;
}

TFirmwareUpdate::TFirmwareUpdate(QWidget* aPanel, TFirmwareUpdateHost aHost)
    : QObject(aPanel), fPanel(aPanel), fHost(std::move(aHost)) {
  fMemo1 = new QPlainTextEdit(aPanel);
  fMemo1->setObjectName("Memo1");
  fMemo1->setReadOnly(true);
  fProgressBar2 = new QProgressBar(aPanel);
  fProgressBar2->setObjectName("ProgressBar2");
  fProgressBar2->setRange(0, 100);
  fProgressBar2->setValue(0);
  fOpenFileBtn = MakeButton(aPanel, "OpenFileBtn", "Open FW File");
  fStartUpdateBtn = MakeButton(aPanel, "StartUpdateBtn", "Start Update");
  fCancelBtn = MakeButton(aPanel, "CancelBtn", "Cancel");
  fOpenFileBtn->setEnabled(false);
  fStartUpdateBtn->setEnabled(false);
  fTimer1 = new QTimer(this);
  fTimer1->setObjectName("Timer1");
  fTimer1->setInterval(1000);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(fOpenFileBtn);
  buttons->addWidget(fStartUpdateBtn);
  buttons->addStretch();
  buttons->addWidget(fCancelBtn);
  auto* column = new QVBoxLayout(aPanel);
  column->addWidget(fMemo1);
  column->addWidget(fProgressBar2);
  column->addLayout(buttons);

  connect(fOpenFileBtn, &QPushButton::clicked, this, Guarded([this] { OpenFileBtnClick(); }));
  connect(fStartUpdateBtn, &QPushButton::clicked, this, Guarded([this] { StartUpdateBtnClick(); }));
  connect(fCancelBtn, &QPushButton::clicked, this, Guarded([this] {
            QWidget* window = fPanel->window();
            if (auto* dialog = qobject_cast<QDialog*>(window))
              dialog->reject();
            else
              window->close();
          }));
  connect(fTimer1, &QTimer::timeout, this, Guarded([this] { Timer1Timer(); }));
}

TFirmwareUpdate::~TFirmwareUpdate() {
  if (fGuardedWindow) fGuardedWindow->removeEventFilter(this);
}

void TFirmwareUpdate::FormShow() { fMemo1->setPlainText(kInfoText); }

void TFirmwareUpdate::PrepareOpen() {
  SetWindowButtonsEnabled(true);
  const bool allowed = fHost.FirmwareClass() >= TVersion::ver_40 && fHost.Link() == TUpdateLink::Serial;
  fOpenFileBtn->setEnabled(allowed);
  fStartUpdateBtn->setEnabled(allowed && !fFileName.isEmpty());
}

void TFirmwareUpdate::SetWindowButtonsEnabled(bool aEnabled) {
  fOpenFileBtn->setEnabled(aEnabled);
  fStartUpdateBtn->setEnabled(aEnabled);
  fCancelBtn->setEnabled(aEnabled);
  for (const char* name : {"OkBtn", "ApplayTestLogBtn", "BatterySaveBtn"})
    if (auto* b = fPanel->window()->findChild<QPushButton*>(name)) b->setEnabled(aEnabled);
}

void TFirmwareUpdate::OpenFileBtnClick() {
  const QString name = AskOpenFileName(fPanel->window(), "Open FW File", "BIN files (*.bin);;ALL files (*.*)");
  if (name.isEmpty()) return;
  fFileName = name;
  fStartUpdateBtn->setEnabled(true);
}

void TFirmwareUpdate::StartUpdateBtnClick() {
  if (fBusy) return;
  // A bad image is refused while the supply still runs its firmware.
  if (const QString problem = ImageFileProblem(fFileName, TSTM32_Flasher::kLargestFlashSize); !problem.isEmpty()) {
    const QString text = problem + ": nothing was sent to the supply";
    UpdateLogLine(this, text);
    ShowCenteredMessage(fPanel->window(), text, TMsgKind::Error, QMessageBox::Ok);
    return;
  }
  if (ShowCenteredMessage(fPanel->window(), "The next step will change firmware on your KPX device",
                          TMsgKind::Confirmation, QMessageBox::Ok | QMessageBox::Cancel) != QMessageBox::Ok)
    return;
  fBusy = true;
  fGuardedWindow = fPanel->window();
  fGuardedWindow->installEventFilter(this);
  SetWindowButtonsEnabled(false);
  fJumped = fHost.Connected();
  if (fJumped) fHost.WriteJumpBoot();
  fProgressBar2->setRange(0, 100);
  fProgressBar2->setValue(5);
  fUpdateTimerCount = 0;
  fTimer1->start();
  fMemo1->clear();
  fMemo1->appendPlainText("Please wait ...");
}

void TFirmwareUpdate::Timer1Timer() {
  if (fUpdateTimerCount < kHandOverTicks) {
    ++fUpdateTimerCount;
    fProgressBar2->setValue(10 * fUpdateTimerCount);
    // The jump write has gone out during the first second; now the port can be released.
    if (fUpdateTimerCount == 2) fHost.Disconnect();
    return;
  }
  fTimer1->stop();
  fProgressBar2->setValue(0);
  TKRCOMPort* port = fHost.ComPort();
  if (port && port->Connected()) {
    // Still open: the connection was not closed, and the port is not ours to reconfigure.
    UpdateLogLine(this, QString("The port %1 is still in use: the update is not started").arg(port->Port()));
    GiveBackPort(nullptr);
    return;
  }
  if (!port || !OpenForBootloader(*port)) {
    UpdateLogLine(this, QString("Cannot open the port %1 for the update").arg(port ? port->Port() : QString()));
    GiveBackPort(port);
    return;
  }
  try {
    Flash(*port);
  } catch (...) {
    // The error goes on to the general error display, after the port has been given back.
    GiveBackPort(port);
    throw;
  }
  GiveBackPort(port);
}

void TFirmwareUpdate::Flash(TKRCOMPort& aPort) {
  TSTM32_Flasher flasher(&aPort);
  flasher.SetOnWriteln([this](void* Sender, const QString& aMessage) { UpdateLogLine(Sender, aMessage); });
  flasher.SetOnProgress([this](void* Sender, int32_t Current, int32_t Max) { UpdateProgress(Sender, Current, Max); });
  flasher.SetLeftIntactFirmware(fJumped);
  // The outcome is in the log.
  flasher.FlashFile(fFileName, true);
}

void TFirmwareUpdate::GiveBackPort(TKRCOMPort* aPort) {
  if (aPort) GiveBackToModbus(*aPort);
  fCancelBtn->setEnabled(true);
  fBusy = false;
  if (fGuardedWindow) fGuardedWindow->removeEventFilter(this);
  fGuardedWindow = nullptr;
}

void TFirmwareUpdate::UpdateLogLine(void*, const QString& aMessage) { fMemo1->appendPlainText(aMessage); }

void TFirmwareUpdate::UpdateProgress(void*, int32_t Current, int32_t Max) {
  fProgressBar2->setMaximum(Max);
  fProgressBar2->setValue(Current);
  QCoreApplication::processEvents();
}

bool TFirmwareUpdate::eventFilter(QObject* aWatched, QEvent* aEvent) {
  if (fBusy && aWatched == fGuardedWindow) {
    // Closing would let the port be taken while the bootloader holds it.
    if (aEvent->type() == QEvent::Close) {
      aEvent->ignore();
      return true;
    }
    if (aEvent->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(aEvent)->key() == Qt::Key_Escape)
      return true;
  }
  return QObject::eventFilter(aWatched, aEvent);
}
