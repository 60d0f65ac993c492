#pragma once
// The main window: the supply's front panel and everything that keeps it live.

#include <QWidget>

#include <cstdint>
#include <memory>

#include "app/TaskUnit.h"
#include "app/UtilUnit.h"

class QComboBox;
class QFrame;
class QLineEdit;
class QPushButton;
class TCategoryPanel;
class TCategoryPanelGroup;

class TMainForm : public QWidget {
  Q_OBJECT
 public:
  explicit TMainForm(QWidget* parent = nullptr);
  ~TMainForm() override;

  // Device records mirrored from the supply.
  TCurrentSet gData{};
  TMemorySet gMemory{};
  TCalibData CalibData{};
  TModel fModel{};

  TLN_TaskMgr* TaskMgr() const { return fTaskMgr.get(); }
  bool Connected() const { return fConnected; }
  uint32_t TcpIpAddr() const { return fTcpIpAddr; }
  uint8_t MBaddr() const { return fMBaddr; }
  uint32_t CLR(int index) const;  // fCLR0 .. fCLR3
  bool CursorButtonsVisible() const { return fCursorButtonsVisible; }

 protected:
  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildLayout();
  void BuildConnectionControls(TCategoryPanel* panel);
  QFrame* AddPanel(QWidget* parent, const QString& name, int left, int top, int width, int height,
                   bool black = false);

  void FormCreate();
  void FormShow();
  void FormActivate();
  bool FormCloseQuery();
  void FormClose();

  void RestoreStoredSettings();
  void RestoreConnectionSettings();
  void StoreSettings();

  // Regions of the window.
  QFrame* OscillPanel = nullptr;
  TCategoryPanelGroup* CategoryPanelGroup1 = nullptr;
  TCategoryPanel* ScopePanel = nullptr;
  TCategoryPanel* ComPortPanel = nullptr;
  TCategoryPanel* MemoryPanel = nullptr;
  TCategoryPanel* ParametersPanel = nullptr;
  QFrame* SetPanel = nullptr;
  QFrame* UsetPanel = nullptr;
  QFrame* IsetPanel = nullptr;
  QFrame* ToolBar1 = nullptr;
  QPushButton* UnlockSetBtn = nullptr;
  QPushButton* TestBtn = nullptr;
  QFrame* OutputPanel = nullptr;
  QFrame* UoutPanel = nullptr;
  QFrame* IoutPanel = nullptr;
  QFrame* TimePanel = nullptr;
  QFrame* PoutPanel = nullptr;
  QFrame* AHPanel = nullptr;
  QFrame* WHPanel = nullptr;

  // Connection controls.
  QComboBox* BaudComboBox = nullptr;
  QComboBox* SlaveAddrComboBox = nullptr;
  QLineEdit* IpMaskEdit = nullptr;

  std::unique_ptr<TLN_TaskMgr> fTaskMgr;
  int32_t fVersionControlMessage = 1;
  bool fConnected = false;
  bool fPowerOn = false;
  bool fWriteOnOffAccepted = false;
  int32_t fVinErrorCount = 0;
  uint32_t fCLR0 = 0x808080;
  uint32_t fCLR1 = 0xFFFFFF;
  uint32_t fCLR2 = 0x00FF00;
  uint32_t fCLR3 = 0x00FFFF;
  uint8_t fMBaddr = 1;
  uint32_t fTcpIpAddr = 0;
  bool fCursorButtonsVisible = false;
  bool Logging = false;
  bool fWebBrowserLoaded = false;
  bool fClosed = false;
};
