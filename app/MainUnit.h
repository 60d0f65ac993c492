#pragma once
// The main window: the supply's front panel and everything that keeps it live. Its members are
// defined in one translation unit per concern: MainUnit (layout and life cycle), MainReadout
// (digits, lamps and texts), MainConnection (connecting and disconnecting), MainPolling
// (requests, answers and the display timer), MainSetPoint (set values and output switch),
// MainAutoTest (the auto-test window's link to this window).

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "app/OutputCounters.h"
#include "core/TaskUnit.h"
#include "core/UtilUnit.h"
#include "modbus/KRTypes.h"
#include "panel/UpDown.h"

class QCheckBox;
class QComboBox;
class QWheelEvent;
class TLN_FocusedPanel;
class TLN_Knob;
class TUpDown;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class TActivityIndicator;
class TCategoryPanel;
class TClickableEdit;
class TCategoryPanelGroup;
class TdsLed;
class TdsSevenSegmentDisplay;
class TIndicator;
class TKRCOMPortConnector;
class TKRModbusMaster;
class TKRTCPConnector;
class TPortComboBox;
class TPortWatcher;
class TToggleSwitch;
class TOscilloscope;
class TParameters;
class TDataLog;
class TPresets;
enum class TPortChange;
struct TFirmwareUpdateHost;
struct TAutoTestHost;
struct TDeviceSettingsHost;

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
  TKRModbusMaster* ModbusMaster() const { return fModbusMaster.get(); }
  TKRCOMPortConnector* COMPortConnector() const { return fCOMPortConnector.get(); }
  TKRTCPConnector* TCPConnector() const { return fTCPConnector.get(); }
  bool Connected() const { return fConnected; }
  bool PowerOn() const { return fPowerOn; }
  uint32_t TcpIpAddr() const { return fTcpIpAddr; }
  uint8_t MBaddr() const { return fMBaddr; }
  uint32_t CLR(int index) const;  // fCLR0 .. fCLR3
  bool CursorButtonsVisible() const { return fCursorButtonsVisible; }
  int OnOffImage() const { return fOnOffImage; }
  TIndicator* UsetIndicator() const { return UsetInd.get(); }
  // The log of an automatic test; the test window starts and saves it.
  TDataLog& LogList() const { return *fLogList; }
  bool Logging = false;
  // Thresholds of logging by event (item indexes of the advanced window's lists).
  std::function<int()> LogUoutThreshold;
  std::function<int()> LogIoutThreshold;
  TIndicator* IsetIndicator() const { return IsetInd.get(); }
  const TOutputCounters& Counters() const { return fCounters; }
  // The millisecond tick the counters and time-outs use; tests may replace it.
  void SetTickSource(std::function<uint32_t()> ticks) { fTicks = std::move(ticks); }

  // Operations the other windows call.
  void ConnectBtnClick();
  void DisconnectBtnClick();
  void SetConnectedState(bool connected, bool powerOn);
  void SetDisplayColors(uint32_t setColor, uint32_t outColor);
  void ShowSetValues();
  void SetValueChanged();
  void EnableSetControls(bool e);
  void ResetCounters();
  void ShowModbusResult(int32_t AError);
  void ModbusLedOn();
  // The advanced window: what its firmware update needs from this window, and its opening.
  TFirmwareUpdateHost FirmwareUpdateHost();
  void P_AdvancedBtnClick();
  // The auto-test window: what it needs from this window.
  TAutoTestHost AutoTestHost();
  // The calibration and battery-source tabs: the records they edit and the calibration
  // requests (MainCalibration).
  TDeviceSettingsHost DeviceSettingsHost();
  void DoReadCalibData();
  void DoWriteCalibCmd(TCalib_Mode aCmd, uint16_t aIdx, uint16_t DataL);

 protected:
  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  // ---- Layout and life cycle (MainUnit) ----
  void BuildLayout();
  QFrame* AddPanel(QWidget* parent, const QString& name, int left, int top, int width, int height,
                   bool black = false);
  void FormCreate();
  void FormShow();
  void FormActivate();
  bool FormCloseQuery();
  void FormClose();
  void RestoreStoredSettings();
  void StoreSettings();
  uint32_t Now() const { return fTicks(); }

  // ---- Calibration and battery source (MainCalibration) ----
  // What identification tells the calibration tab: the current choices and the temperature point.
  void ShowCalibrationModel(uint32_t model);
  // Opening the advanced window: the battery tab, the calibration block, the current choice.
  void PrepareAdvancedDevice();
  // Closed with "Save": the "Use Battery Source" box into PARAM and fModel.BSRC.
  void StoreBatterySource();

  // ---- Readouts (MainReadout) ----
  void BuildReadouts();
  void BuildStatusLamps();
  void CreateIndicators();
  void PlaceCurrentPoint();
  void ShowVin(uint32_t value);
  void ShowSetPower(uint32_t u, uint32_t i);
  void ShowProtection(uint32_t code);
  void ClearModeLeds();
  void SetShadowColor(bool on);
  void TimeIndChange();
  void AHIndChange();
  void WHIndChange();
  void RefreshReadouts();
  void RefreshCounterReadouts();

  // ---- Connection (MainConnection) ----
  void BuildConnectionControls(TCategoryPanel* panel);
  void RestoreConnectionSettings();
  bool FillPortList();
  void ComPortComboBoxSelect();
  void IpMaskEditExit();
  void Connect();
  void ConnectTCP();
  void StartConnectRead();
  // mayComeBack: a port or server that is not there now may answer a later attempt.
  void ConnectFailed(const QString& text, bool mayComeBack);
  // Which supply a connection reaches: the port or server and the slave address.
  QString LinkName() const;
  void ConnectReadDone(int32_t AError, const TKRRegisters* AData);
  void LockWritten(int32_t AError);
  void ConnectionEstablished();
  void Disconnect();
  void AutoConnectSwitchClick();
  void AutoconnectTimerTimer();
  void WMDeviceChange(TPortChange change, const QString& port);
  void ConnectionFailed();
  void WMConnectionLost();
  void ConnectionTimeout();
  void SetupModel(uint32_t model, uint32_t version);
  void DetectVersion(uint32_t model, uint32_t version);
  void WMVersionMessage();
  void ReportUnknownModel(uint32_t model);
  // While the firmware update holds the serial port, nothing may connect.
  bool FirmwareUpdateRunning() const;
  // "Update firmware…": while disconnected, the advanced window with only its update tab, for a
  // supply already waiting in its bootloader on the chosen serial port.
  void UpdateFirmwareBtnClick();
  void EnableUpdateFirmwareBtn();

  // ---- Requests and answers (MainPolling) ----
  void BindSchedulerEvents();
  // Wraps an answer handler: while the window waits on purpose, answers are held back and run
  // afterwards, and only if the link is still up (as answers to a closed link are dropped).
  TMBMCallBack Answer(std::function<void(int32_t, const TKRRegisters*)> handler);
  void FlushHeldAnswers();
  void ReadRegisters(uint16_t start, uint16_t count,
                     std::function<void(int32_t, const TKRRegisters*)> handler);
  void WriteRegister(uint16_t reg, uint16_t value, std::function<void(int32_t)> handler);
  void WriteRegisters(uint16_t start, const TKRRegisters& values, std::function<void(int32_t)> handler);
  void RequestData();
  void RequestSetData();
  void RequestTemperature();
  void RequestDebugData();
  void RequestGlobalData();
  void RequestMemNum();
  void RequestMemNumAndCounters();
  void RequestMemory();
  void RequestCalibData();
  void SendSetData();
  void SendOnOff();
  void SendBled();
  void SendMemNum();
  void SendCommand();
  void SendJumpBoot();
  void SendGlobalData();
  void SendMemory();
  void SendCalibCmd();
  void LiveDataRead(int32_t AError, const TKRRegisters* AData);
  void SetDataRead(int32_t AError, const TKRRegisters* AData);
  void TemperatureRead(int32_t AError, const TKRRegisters* AData);
  void DebugDataRead(int32_t AError, const TKRRegisters* AData);
  void GlobalDataRead(int32_t AError, const TKRRegisters* AData);
  void MemNumRead(int32_t AError, const TKRRegisters* AData);
  void MemNumAndCountersRead(int32_t AError, const TKRRegisters* AData);
  void MemoryRead(int32_t AError, const TKRRegisters* AData);
  void CalibDataRead(int32_t AError, const TKRRegisters* AData);
  void WriteDone(int32_t AError);
  void MemNumWritten(int32_t AError);
  void OnOffWritten(int32_t AError);
  void OffWritten(int32_t AError);
  void OscillTimerTimer();
  void CountersTick();
  void WMAutoExpand();
  void VinWarningTick();

  // ---- Set values and output (MainSetPoint) ----
  void BuildSetControls();
  void SetKnobsEnabled(bool on);
  void EnableUpDowns(bool e);
  void SetCursorButtonsVisible(bool v);
  void ShowPresetKindControls();
  void UnlockSetBtnClick();
  void OnOffBtnClick();
  // The window's output state, its controls, colours and counters, set to on or off.
  void ApplyOutputState(bool on);
  void SetOnOffImage(int index);
  void UsetIndChange();
  void IsetIndChange();
  void U_KnobChange();
  void I_KnobChange();
  void SetPanelClick(TIndicator& ind, QWidget* panel);
  void SegmentClick(TdsSevenSegmentDisplay* digit);
  void SetPanelKeyDown(TIndicator& ind, int key);
  void SetPanelKeyPress(TIndicator& ind, QChar key);
  void CursorUpDownChangingEx(TIndicator& ind, TUpDownDirection direction);
  QWidget* FindControlAtPoint(QPoint globalPos) const;
  void FormMouseWheel(bool up, QPoint globalPos);

  // ---- Device parameters and the side panels (MainParameters) ----
  void CreateParameters();
  // A profile value field was clicked: the entry window opens over it.
  void ProfileEditClick(TClickableEdit& Sender);
  void CategoryPanelExpand(TCategoryPanel* Sender);

  // ---- The auto-test window (MainAutoTest) ----
  void TestBtnClick();
  // "Start" is usable while connected with the output off; the output going off ends a run.
  void EnableAutoTestStart(bool e);
  void EndAutoTest();
  // A running test asks "Stop the autotest?"; a log not saved since its last entry is offered
  // for saving. False keeps the window open.
  bool AutoTestCloseQuery();
  bool SaveTestLog(QWidget* owner);
  // A running test that the link's end stops is remembered with its step and its supply.
  void NoteInterruptedTest();
  // The supply of an interrupted test answers again: its output is switched off first, unless
  // the logging options say to leave it as it is.
  void SwitchOffAfterLostTest();
  void SafeOffWritten(int32_t AError);
  void ReportInterruptedTest(int step, const QString& outcome);

  // Regions of the window.
  QFrame* OscillPanel = nullptr;
  TCategoryPanelGroup* CategoryPanelGroup1 = nullptr;
  TCategoryPanel* ScopePanel = nullptr;
  TCategoryPanel* ComPortPanel = nullptr;
  TCategoryPanel* MemoryPanel = nullptr;
  TCategoryPanel* ParametersPanel = nullptr;
  QFrame* SetPanel = nullptr;
  TLN_FocusedPanel* UsetPanel = nullptr;
  TLN_FocusedPanel* IsetPanel = nullptr;
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
  QPushButton* OnOffBtn = nullptr;
  int fOnOffImage = 2;

  // Set-point controls.
  TLN_Knob* U_Knob = nullptr;
  TLN_Knob* I_Knob = nullptr;
  TUpDown* UpDown1 = nullptr;
  TUpDown* UpDown2 = nullptr;
  TUpDown* CursorUpDown1 = nullptr;
  TUpDown* CursorUpDown2 = nullptr;
  QCheckBox* UpDownCheckBox = nullptr;
  QTimer MouseWheelTimer;

  // Connection controls.
  TPortComboBox* ComPortComboBox = nullptr;
  QComboBox* BaudComboBox = nullptr;
  QComboBox* SlaveAddrComboBox = nullptr;
  QLineEdit* IpMaskEdit = nullptr;
  QPushButton* ConnectBtn = nullptr;
  QPushButton* DisconnectBtn = nullptr;
  QPushButton* UpdateFirmwareBtn = nullptr;
  TToggleSwitch* AutoConnectSwitch = nullptr;
  TActivityIndicator* ConnectingIndicator = nullptr;
  TdsLed* OnlineLed = nullptr;
  TdsLed* ModbusLed = nullptr;
  QLabel* KeyLockPanel = nullptr;
  QTimer AutoconnectTimer;
  QPointer<TPortWatcher> fPortWatcher;

  // Readouts.
  std::vector<TdsSevenSegmentDisplay*> SegUset, SegIset, SegUout, SegIout, SegPout, SegTime,
      SegAH, SegWH;  // index 0 = digit 1 (rightmost)
  std::vector<TdsLed*> PointLed;  // index n = PointLed<n>, 1 .. 11
  TdsLed* CVLed = nullptr;
  TdsLed* CCLed = nullptr;
  TdsLed* ProtectLed = nullptr;
  TdsLed* VinErrorLed = nullptr;
  TdsLed* UsetErrorLed = nullptr;
  TdsLed* IsetErrorLed = nullptr;
  QLabel* ProtectLabel = nullptr;
  QLabel* PowerPanel = nullptr;
  QLabel* VinPanel = nullptr;
  QLabel* TempLabel = nullptr;
  QLabel* DebugLabel = nullptr;
  QLabel* IndLabel1 = nullptr;
  QLabel* IndLabel2 = nullptr;
  QLabel* IndLabel3 = nullptr;
  QLabel* IndLabel4 = nullptr;
  QLabel* IndLabel5 = nullptr;
  QLabel* TimeIndLabel = nullptr;
  QLabel* AHLabel = nullptr;
  QLabel* WHLabel = nullptr;
  std::unique_ptr<TIndicator> UsetInd, IsetInd, UoutInd, IoutInd, PoutInd, TimeInd, AHInd, WHInd;
  QTimer OscillTimer;
  std::unique_ptr<TOscilloscope> fOscilloscope;
  std::unique_ptr<TPresets> fPresets;
  std::unique_ptr<TParameters> fParameters;
  std::unique_ptr<TDataLog> fLogList;

  // The link.
  std::unique_ptr<TKRCOMPortConnector> fCOMPortConnector;
  std::unique_ptr<TKRTCPConnector> fTCPConnector;
  std::unique_ptr<TKRModbusMaster> fModbusMaster;
  std::vector<std::function<void()>> fHeldAnswers;
  TMBType fmbType = mbtRTU;
  std::unique_ptr<TLN_TaskMgr> fTaskMgr;

  int32_t fVersionControlMessage = 1;
  bool fConnected = false;
  bool fPowerOn = false;
  // The program's own output write is on its way: until its answer the supply's old state
  // does not count.
  bool fOnOffWritePending = false;
  // A test stopped by a lost connection: its step (1-based) and the supply it ran on.
  struct TInterruptedTest {
    int Step = 0;
    QString Link;
  };
  std::optional<TInterruptedTest> fInterruptedTest;
  bool fSafeOffPending = false;  // that supply answered; its output must go off
  bool fConnectFailShown = false;  // an automatic attempt's failure was said once this outage
  bool fShadowColorOn = false;
  bool fConnectStartedByUser = false;
  bool fAutoconnectWish = false;     // the user's choice, stored; the switch may differ
  bool fConnectionLostShown = false;  // "Connection lost !!!" is on screen
  uint32_t fReportedUnknownModel = 0;
  int32_t fVinErrorCount = 0;
  int32_t fTemperatureTimerCount = 0;
  int32_t fCountersTimerCount = 0;
  int32_t fAutoexpandCounter = 0;
  uint32_t fPrevUset = 0;
  uint32_t fPrevIset = 0;
  uint32_t fCLR0 = 0x808080;
  uint32_t fCLR1 = 0xFFFFFF;
  uint32_t fCLR2 = 0x00FF00;
  uint32_t fCLR3 = 0x00FFFF;
  uint32_t fOutColor = 0x00FF00;
  uint32_t fShownOutColor = 0x808080;  // the colour the output digits are painted in
  uint8_t fMBaddr = 1;
  uint32_t fTcpIpAddr = 0;
  TOutputCounters fCounters;
  std::function<uint32_t()> fTicks;
  bool fCursorButtonsVisible = false;
  bool fWebBrowserLoaded = false;
  bool fClosed = false;
};
