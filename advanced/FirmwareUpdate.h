#pragma once
// The update panel of the "Colors and Update" tab: choose an image, ask the supply to jump to its
// bootloader, close the Modbus connection, hand the serial port to the bootloader client at
// 38400 baud with even parity, show its log and progress, and give the port back at 9600 baud
// without parity. Paced by Timer1 on the GUI thread; reaches the main window only through the
// callbacks of TFirmwareUpdateHost.

#include "core/UtilUnit.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <functional>

class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTimer;
class TKRCOMPort;

// How the main window reaches the supply, as far as the update cares.
enum class TUpdateLink { Serial, Tcp, Bluetooth };

// The link of an entry of the main window's port list: the "TCP" entry, a Bluetooth port (its
// text contains "BT"), or a plain serial port.
TUpdateLink UpdateLinkOf(const QString& aPortEntry);

// What the update needs from the main window. Every member must be set.
struct TFirmwareUpdateHost {
  std::function<bool()> Connected;
  // Raises the scheduler's WriteJumpBoot request.
  std::function<void()> WriteJumpBoot;
  std::function<void()> Disconnect;
  std::function<TUpdateLink()> Link;
  std::function<TVersion()> FirmwareClass;
  // The serial connector's port object, lent while the connector is inactive.
  std::function<TKRCOMPort*()> ComPort;
};

class TFirmwareUpdate : public QObject {
  Q_OBJECT
 public:
  // Builds Memo1, ProgressBar2, OpenFileBtn, StartUpdateBtn and CancelBtn on aPanel.
  TFirmwareUpdate(QWidget* aPanel, TFirmwareUpdateHost aHost);
  ~TFirmwareUpdate() override;

  // Every showing of the window: the information text in Memo1.
  void FormShow();
  // The opener, before showing the window: OpenFileBtn only for firmware from ver_40 on over a
  // serial port that is not Bluetooth; the tab's buttons enabled again after an update.
  void PrepareOpen();
  // From a confirmed start until the port has been given back. While busy the window refuses to
  // close, and the main window must refuse to connect.
  bool Busy() const { return fBusy; }
  const QString& FileName() const { return fFileName; }

  void OpenFileBtnClick();
  void StartUpdateBtnClick();
  void Timer1Timer();
  void UpdateLogLine(void* Sender, const QString& aMessage);
  void UpdateProgress(void* Sender, int32_t Current, int32_t Max);

  QPlainTextEdit* Memo1() const { return fMemo1; }
  QProgressBar* ProgressBar2() const { return fProgressBar2; }
  QPushButton* OpenFileBtn() const { return fOpenFileBtn; }
  QPushButton* StartUpdateBtn() const { return fStartUpdateBtn; }
  QPushButton* CancelBtn() const { return fCancelBtn; }
  QTimer* Timer1() const { return fTimer1; }

 protected:
  bool eventFilter(QObject* aWatched, QEvent* aEvent) override;

 private:
  // The window's buttons that an update disables: this panel's and those of the other tabs
  // (OkBtn, ApplayTestLogBtn, BatterySaveBtn), found by name in the window.
  void SetWindowButtonsEnabled(bool aEnabled);
  void Flash(TKRCOMPort& aPort);
  void GiveBackPort(TKRCOMPort* aPort);

  QWidget* fPanel;
  TFirmwareUpdateHost fHost;
  QPlainTextEdit* fMemo1;
  QProgressBar* fProgressBar2;
  QPushButton* fOpenFileBtn;
  QPushButton* fStartUpdateBtn;
  QPushButton* fCancelBtn;
  QTimer* fTimer1;
  QPointer<QWidget> fGuardedWindow;  // the window refusing to close while busy
  QString fFileName;
  int32_t fUpdateTimerCount = 0;
  bool fBusy = false;
  bool fJumped = false;  // this update asked the running firmware to jump to the bootloader
};
