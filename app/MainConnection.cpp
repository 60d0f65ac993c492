// Connecting to one supply over a serial port or TCP, the key-lock handshake, automatic
// reconnection, ports that come and go, and the lost connection.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "advanced/AdvancedUnit.h"
#include "app/ActivityIndicator.h"
#include "app/CategoryPanel.h"
#include "core/Dialogs.h"
#include "core/ErrorReport.h"
#include "app/GuiWait.h"
#include "app/IpAddress.h"
#include "app/MainUnit.h"
#include "core/ModelIdentity.h"
#include "app/PortComboBox.h"
#include "app/ProgramWindows.h"
#include "core/RegisterMap.h"
#include "app/ToggleSwitch.h"
#include "autotest/TestUnit.h"
#include "features/Oscilloscope.h"
#include "features/Presets.h"
#include "features/Parameters.h"
#include "host/PortDiscovery.h"
#include "host/PortWatcher.h"
#include "host/SettingsStore.h"
#include "modbus/KRCOMPortConnector.h"
#include "modbus/KRModbusMaster.h"
#include "modbus/KRTCPConnector.h"
#include "panel/Indicator.h"
#include "panel/dsLeds.h"
#include "widgets/LN_Knob.h"

namespace {
constexpr int kBaudRates[] = {2400, 4800, 9600, 19200, 38400, 57600, 115200};
constexpr int kDefaultBaudIndex = 2;  // 9600
constexpr int kSlaveAddresses = 127;
constexpr int kFirstAttemptMs = 300;
constexpr int kRetryMs = 1500;
constexpr uint32_t kReconnectPauseMs = 1000;
constexpr uint32_t kDrainMs = 1000;
const QString CR = QString(QChar(13));

TdsLed* AddStatusLed(QWidget* parent, const QString& name, const QString& caption, int left,
                     int top, uint32_t onColor) {
  auto* label = new QLabel(caption, parent);
  label->setObjectName(name + "Label");
  label->setGeometry(left, top, 60, 17);
  auto* led = new TdsLed(parent);
  led->setObjectName(name);
  led->setGeometry(left + 60, top + 1, 15, 15);
  led->SetOnColor(onColor);
  led->SetOffColor(0xC0C0C0);
  return led;
}
}  // namespace

void TMainForm::BuildConnectionControls(TCategoryPanel* panel) {
  QWidget* surface = panel->Surface();
  ComPortComboBox = new TPortComboBox("ComPortComboBox", surface);
  ComPortComboBox->setGeometry(8, 8, 150, 22);
  BaudComboBox = new QComboBox(surface);
  BaudComboBox->setObjectName("BaudComboBox");
  BaudComboBox->setGeometry(166, 8, 80, 22);
  SlaveAddrComboBox = new QComboBox(surface);
  SlaveAddrComboBox->setObjectName("SlaveAddrComboBox");
  SlaveAddrComboBox->setGeometry(254, 8, 56, 22);
  IpMaskEdit = new QLineEdit(surface);
  IpMaskEdit->setObjectName("IpMaskEdit");
  IpMaskEdit->setGeometry(8, 39, 150, 22);
  // One required and two optional digits per octet; blanks are trimmed when the field is read.
  IpMaskEdit->setInputMask("900.900.900.900; ");
  IpMaskEdit->setText("192.168.001.001");

  ConnectBtn = new QPushButton("Connect", surface);
  ConnectBtn->setObjectName("ConnectBtn");
  // "Disconnect" needs its width at every scale; "Connect" gives some of its own.
  ConnectBtn->setGeometry(166, 38, 62, 24);
  DisconnectBtn = new QPushButton("Disconnect", surface);
  DisconnectBtn->setObjectName("DisconnectBtn");
  DisconnectBtn->setGeometry(230, 38, 84, 24);
  DisconnectBtn->setEnabled(false);

  AutoConnectSwitch = new TToggleSwitch("AutoConnectSwitch", "Auto Connect", surface);
  AutoConnectSwitch->setGeometry(8, 70, 150, 22);
  AutoConnectSwitch->setEnabled(false);
  ConnectingIndicator = new TActivityIndicator("ConnectingIndicator", surface);
  ConnectingIndicator->setGeometry(166, 68, 60, 26);
  OnlineLed = AddStatusLed(surface, "OnlineLed", "Online    ", 8, 102, 0x00FF00);
  ModbusLed = AddStatusLed(surface, "ModbusLed", "Modbus  ", 166, 102, 0x008000);
  KeyLockPanel = new QLabel("Keys locked", surface);
  KeyLockPanel->setObjectName("KeyLockPanel");
  KeyLockPanel->setGeometry(8, 126, 150, 20);
  KeyLockPanel->hide();
  UpdateFirmwareBtn = new QPushButton("Update firmware\u2026", surface);
  UpdateFirmwareBtn->setObjectName("UpdateFirmwareBtn");
  UpdateFirmwareBtn->setGeometry(166, 124, 146, 24);
  UpdateFirmwareBtn->setToolTip("Flash a supply that waits in its bootloader on the chosen port");

  connect(ConnectBtn, &QPushButton::clicked, this, Guarded([this] {
            fConnectStartedByUser = true;
            ConnectBtnClick();
          }));
  connect(DisconnectBtn, &QPushButton::clicked, this, Guarded([this] { DisconnectBtnClick(); }));
  connect(UpdateFirmwareBtn, &QPushButton::clicked, this, Guarded([this] { UpdateFirmwareBtnClick(); }));
  AutoConnectSwitch->OnClick = Guarded([this] { AutoConnectSwitchClick(); });
  // Only the user's own clicks change the wish that is stored; a failed open switching the
  // switch off does not.
  connect(AutoConnectSwitch, &QAbstractButton::clicked, this,
          [this](bool on) { fAutoconnectWish = on; });
  connect(ComPortComboBox, qOverload<int>(&QComboBox::activated), this,
          Guarded([this] { ComPortComboBoxSelect(); }));
  connect(IpMaskEdit, &QLineEdit::editingFinished, this, Guarded([this] { IpMaskEditExit(); }));
  AutoconnectTimer.setInterval(kFirstAttemptMs);
  connect(&AutoconnectTimer, &QTimer::timeout, this, Guarded([this] { AutoconnectTimerTimer(); }));
}

void TMainForm::RestoreConnectionSettings() {
  for (int rate : kBaudRates) BaudComboBox->addItem(QString::number(rate));
  BaudComboBox->setCurrentIndex(
      RegReadListIndex("BAUDRATE", BaudComboBox->count(), kDefaultBaudIndex));
  for (int address = 1; address <= kSlaveAddresses; ++address)
    SlaveAddrComboBox->addItem(QString::number(address));
  SlaveAddrComboBox->setCurrentIndex(RegReadListIndex("MBADDR", SlaveAddrComboBox->count(), 0));
  if (const std::optional<int32_t> stored = RegReadNumber("TCP")) {
    fTcpIpAddr = static_cast<uint32_t>(*stored);
    IpMaskEdit->setText(IpAddrToMaskText(fTcpIpAddr));
  }
  FillPortList();
}

bool TMainForm::FillPortList() {
  QStringList ports;
  GetSerialPortList(ports);
  ComPortComboBox->clear();
  ComPortComboBox->addItem("TCP");
  for (const QString& port : ports) ComPortComboBox->addItem(GetPortFriendlyName(port));
  ComPortComboBox->setCurrentIndex(0);
  bool found = false;
  if (RegValueExists("PORT")) {
    const QString stored = RegReadString("PORT");
    for (int i = 0; i < ComPortComboBox->count(); ++i) {
      if (PortNameOf(ComPortComboBox->itemText(i)) == stored) {
        ComPortComboBox->setCurrentIndex(i);
        AutoConnectSwitch->setEnabled(true);
        ConnectingIndicator->SetIndicatorType(TActivityIndicator::TKind::RotatingSector);
        found = true;
        break;
      }
    }
  } else if (ComPortComboBox->count() >= 2) {
    ComPortComboBox->setCurrentIndex(1);
  }
  ComPortComboBoxSelect();
  return found;
}

void TMainForm::ComPortComboBoxSelect() {
  const bool tcp = ComPortComboBox->currentIndex() == 0;
  // A live session keeps its connection settings locked, even when the port list is refreshed.
  IpMaskEdit->setEnabled(!fConnected && tcp);
  BaudComboBox->setEnabled(!fConnected && !tcp);
  SlaveAddrComboBox->setEnabled(!fConnected && !tcp);
  EnableUpdateFirmwareBtn();
  if (tcp) return;
  const QString port = PortNameOf(ComPortComboBox->currentText());
  const int index = RegReadPortBaud(port);
  if (index > 0 && index < BaudComboBox->count()) BaudComboBox->setCurrentIndex(index);
}

void TMainForm::IpMaskEditExit() {
  // The displayed text keeps the mask's fields in place; each octet is what stands between the
  // dots, however many digits it has.
  const QStringList fields = IpMaskEdit->displayText().split('.');
  for (const QString& field : fields) {
    bool ok = false;
    const int value = field.trimmed().toInt(&ok);
    if (!ok) {
      ShowCenteredMessage(this, "'" + field.trimmed() + "' is not a valid integer value.",
                          TMsgKind::Error);
      return;
    }
    if (value < 0 || value > 255) {
      ShowCenteredMessage(this, "Not a valid IP address.", TMsgKind::Error);
      return;
    }
  }
}

void TMainForm::ConnectBtnClick() {
  if (FirmwareUpdateRunning()) return;
  fOscilloscope->ClearOscData();
  fOscilloscope->SetRun(true);
  ConnectBtn->setEnabled(false);
  ConnectingIndicator->SetIndicatorType(TActivityIndicator::TKind::RotatingSector);
  ConnectingIndicator->SetAnimate(true);
  PaintPending();
  fMBaddr = static_cast<uint8_t>(SlaveAddrComboBox->currentIndex() + 1);
  if (ComPortComboBox->currentIndex() == 0)
    ConnectTCP();
  else
    Connect();
}

void TMainForm::ConnectFailed(const QString& text, bool mayComeBack) {
  const bool automatic = !fConnectStartedByUser && AutoConnectSwitch->On();
  fConnectStartedByUser = false;
  if (automatic && mayComeBack) {
    // Nobody is watching: the attempts go on until the port or the server answers again, and
    // the reason is said once per outage, not once per attempt.
    if (fConnectFailShown) return;
    fConnectFailShown = true;
    ShowCenteredMessage(this, text, TMsgKind::Error);
    return;
  }
  ShowCenteredMessage(this, text, TMsgKind::Error);
  AutoConnectSwitch->SetOn(false);
  ConnectingIndicator->SetAnimate(false);
  ConnectBtn->setEnabled(true);
}

QString TMainForm::LinkName() const {
  const QString where = fmbType == mbtTCP
                            ? "TCP " + IpAddrToText(fTcpIpAddr) + ":" +
                                  QString::number(fTCPConnector->Port())
                            : fCOMPortConnector->Port();
  return where + " @" + QString::number(fMBaddr);
}

void TMainForm::Connect() {
  if (fModbusMaster->Active()) {
    fCOMPortConnector->QueueClear();
    fModbusMaster->SetActive(false);
    WaitPainted(kReconnectPauseMs);
  }
  fmbType = mbtRTU;
  fModbusMaster->SetConnector(fCOMPortConnector.get());
  const QString port = PortNameOf(ComPortComboBox->currentText());
  fCOMPortConnector->SetPort(port);
  fCOMPortConnector->SetBaudRate(kBaudRates[BaudComboBox->currentIndex()]);
  fModbusMaster->SetActive(true);
  if (fCOMPortConnector->Connected()) {
    StartConnectRead();
  } else {
    ConnectFailed("The " + port + " port is closed or busy!" + CR +
                      "Please check  the port and close other application using this port.",
                  true);
  }
}

void TMainForm::ConnectTCP() {
  const std::optional<uint32_t> address = IpTextToAddr(IpMaskEdit->text());
  fTcpIpAddr = address.value_or(0);
  if (!address || *address == 0) {
    ConnectFailed("Wrong address " + IpMaskEdit->text() + CR + "Please check  the TCP IP address.",
                  false);
    return;
  }
  // A failed attempt leaves the connector active on a socket that never opened: the next
  // attempt opens a fresh one.
  if (fModbusMaster->Active()) {
    if (TKRConnector* connector = fModbusMaster->Connector()) connector->QueueClear();
    fModbusMaster->SetActive(false);
  }
  fmbType = mbtTCP;
  fModbusMaster->SetConnector(fTCPConnector.get());
  const QString ip = IpAddrToText(fTcpIpAddr);
  fTCPConnector->SetIP(ip);
  fModbusMaster->SetActive(true);
  if (fTCPConnector->Connected()) {
    StartConnectRead();
  } else {
    ConnectFailed("The TCP server at " + ip + " does not replay!" + CR +
                      "Please check  the TCP IP address.",
                  true);
  }
}

void TMainForm::StartConnectRead() {
  gData.MODEL = 0;
  gData.LOCK = 0;
  ModbusLedOn();
  ReadRegisters(0, 15, [this](int32_t e, const TKRRegisters* r) { ConnectReadDone(e, r); });
  DisconnectBtn->setEnabled(true);
}

void TMainForm::ConnectReadDone(int32_t AError, const TKRRegisters* AData) {
  if (AError != 0 || !AData || AData->size() < 15) {
    ConnectingIndicator->SetAnimate(false);
    ShowModbusResult(AError != 0 ? AError : -3);
    return;
  }
  for (int reg = 0; reg < 15; ++reg) StoreRegister(gData, reg, (*AData)[reg]);
  SetupModel(gData.MODEL, gData.VERSION);
  fParameters->SetBacklightPosition(gData.BLED);
  if (IsKnownModel(gData.MODEL)) {
    ShowSetValues();
    UoutInd->UpdateDigits();
    IoutInd->UpdateDigits();
    ShowVin(gData.UIN);
    SwitchOffAfterLostTest();
    fPowerOn = gData.ONOFF > 0;
    if (gData.LOCK != 0) {
      ConnectionEstablished();
    } else {
      ModbusLedOn();
      WriteRegister(Reg::LOCK, 1, [this](int32_t e) { LockWritten(e); });
    }
  } else {
    ReportUnknownModel(gData.MODEL);
  }
  ShowModbusResult(AError);
}

// A supply outside the model table is not driven: its scales are unknown. Say which model
// answered, once per connection the user asked for.
void TMainForm::ReportUnknownModel(uint32_t model) {
  ConnectingIndicator->SetAnimate(false);
  if (!fConnectStartedByUser && fReportedUnknownModel == model) return;
  fReportedUnknownModel = model;
  fConnectStartedByUser = false;
  ShowCenteredMessage(this,
                      "The supply answered with model number " + QString::number(model) +
                          ", which this program does not know." + CR +
                          "Please check the slave address and the supply's firmware.",
                      TMsgKind::Error);
  if (!AutoConnectSwitch->On()) ConnectBtn->setEnabled(true);
}

void TMainForm::LockWritten(int32_t AError) {
  if (AError == 0 && !fConnected) ConnectionEstablished();
  ShowModbusResult(AError);
}

void TMainForm::ConnectionEstablished() {
  gData.MMAX = 10;
  OscillTimer.start();
  ConnectingIndicator->SetAnimate(false);
  ConnectBtn->setEnabled(false);
  DisconnectBtn->setEnabled(true);
  OnlineLed->SetLedOn(true);
  if (fmbType == mbtTCP) {
    RegWriteInteger("TCP", static_cast<int32_t>(fTcpIpAddr));
    RegWriteString("PORT", "TCP");
  } else {
    RegWritePortBaud(fCOMPortConnector->Port(), BaudComboBox->currentIndex());
    RegWriteString("PORT", fCOMPortConnector->Port());
  }
  fConnected = true;
  fConnectStartedByUser = false;
  fConnectFailShown = false;
  SetConnectedState(true, gData.ONOFF > 0);
  ResetCounters();
  fPresets->ShowPresetButtons();
  fTemperatureTimerCount = 5;
  fOnOffWritePending = false;
  fTaskMgr->Start();
  if (ReadsCountersOnConnect(gData.VERSION))
    fTaskMgr->ReadMemNumAndCounters();
  else
    fTaskMgr->ReadMemNum();
  fTaskMgr->ReadMemory();
  if (HasGlobalBlock(gData.VERSION)) fTaskMgr->ReadGlobalData();
}

void TMainForm::DisconnectBtnClick() {
  fTaskMgr->Stop();
  TKRConnector* connector = fModbusMaster->Connector();
  if (connector) connector->QueueClear();
  ModbusLedOn();
  WriteRegister(Reg::LOCK, 0, [this](int32_t e) { WriteDone(e); });
  // The keys are given back to the supply before the port closes: wait for the unlock's answer
  // (held back, like every answer during the wait), at most a second.
  if (connector)
    WaitPainted(kDrainMs, [this, connector] {
      return connector->QueueCount() == 0 && !fHeldAnswers.empty();
    });
  Disconnect();
  ConnectBtn->setEnabled(true);
}

void TMainForm::Disconnect() {
  fTaskMgr->Stop();
  gData.DVID = 0;
  TempLabel->hide();
  OscillTimer.stop();
  ConnectingIndicator->SetAnimate(false);
  if (TKRConnector* connector = fModbusMaster->Connector()) connector->QueueClear();
  fModbusMaster->SetActive(false);
  DisconnectBtn->setEnabled(false);
  OnlineLed->SetLedOn(false);
  ConnectBtn->setEnabled(!AutoConnectSwitch->On());
  fConnected = false;
  fOnOffWritePending = false;
  fSafeOffPending = false;  // an unfinished switch-off is tried again at the next connect
  SetConnectedState(false, fPowerOn);
  KeyLockPanel->hide();
  FlushHeldAnswers();
}

void TMainForm::SetConnectedState(bool connected, bool powerOn) {
  if (connected) {
    TestBtn->setEnabled(true);
    MemoryPanel->setEnabled(true);
    ParametersPanel->setEnabled(true);
    OnOffBtn->setEnabled(true);
    ComPortComboBox->setEnabled(false);
    IpMaskEdit->setEnabled(false);
    BaudComboBox->setEnabled(false);
    SlaveAddrComboBox->setEnabled(false);
    SetDisplayColors(fCLR1, fCLR2);
    EnableSetControls(!powerOn);
    EnableUpdateFirmwareBtn();
    return;
  }
  if (ModbusLed->OnColor() != 0x0000FF) ModbusLed->SetLedOn(false);
  ComPortComboBox->setEnabled(true);
  ComPortComboBoxSelect();
  OnOffBtn->setEnabled(false);
  TestBtn->setEnabled(false);
  ClearModeLeds();
  EndAutoTest();
  EnableSetControls(false);
  for (int reg = Reg::USET; reg <= Reg::MODEL; ++reg) RegisterField(gData, reg) = 0;
  RefreshReadouts();
  ResetCounters();
  RefreshCounterReadouts();
  ShowVin(gData.UIN);
  ShowProtection(0);
  ShowSetPower(0, 0);
  SetKnobsEnabled(false);
  UnlockSetBtn->setEnabled(false);
  setWindowTitle("Kelvora");
  MemoryPanel->SetCollapsed(true);
  ParametersPanel->SetCollapsed(true);
  MemoryPanel->setEnabled(false);
  ParametersPanel->setEnabled(false);
  SetDisplayColors(fCLR0, fCLR0);
  fPresets->ReleasePresetButtons();
}

void TMainForm::AutoConnectSwitchClick() {
  if (AutoConnectSwitch->On()) {
    fConnectFailShown = false;  // a new wait: its first failure is said again
    ConnectBtn->setEnabled(false);
    if (!fConnected) {
      AutoconnectTimer.start();
      ConnectingIndicator->SetAnimate(true);
    }
  } else {
    ConnectBtn->setEnabled(!DisconnectBtn->isEnabled());
    AutoconnectTimer.stop();
    ConnectingIndicator->SetAnimate(false);
  }
}

void TMainForm::AutoconnectTimerTimer() {
  AutoconnectTimer.stop();
  AutoconnectTimer.setInterval(kRetryMs);
  if (fConnected) return;
  if (FirmwareUpdateRunning()) {
    // Tried again once the bootloader has given the port back.
    if (AutoConnectSwitch->On()) AutoconnectTimer.start();
    return;
  }
  if (FillPortList()) ConnectBtnClick();
  if (AutoConnectSwitch->On() && !fConnected) AutoconnectTimer.start();
}

void TMainForm::WMDeviceChange(TPortChange change, const QString& port) {
  const bool found = FillPortList();
  if (change == TPortChange::Arrival) {
    // A live session is not disturbed by another port coming.
    if (!found || fConnected) return;
    AutoconnectTimer.setInterval(kFirstAttemptMs);
    // The stored wish to connect automatically waits for its port.
    if (fAutoconnectWish && !AutoConnectSwitch->On()) AutoConnectSwitch->SetOn(true);
    if (AutoConnectSwitch->On()) {
      AutoconnectTimer.start();
      ConnectingIndicator->SetIndicatorType(TActivityIndicator::TKind::RotatingSector);
      ConnectingIndicator->SetAnimate(true);
    }
    return;
  }
  // Only the serial link can lose its port; a TCP session is not touched.
  if (fConnected && fmbType == mbtRTU && port == fCOMPortConnector->Port()) {
    NoteInterruptedTest();
    Disconnect();
    if (AutoConnectSwitch->On()) {
      ConnectingIndicator->SetIndicatorType(TActivityIndicator::TKind::MomentumDots);
      ConnectingIndicator->SetAnimate(true);
    }
  }
}

void TMainForm::ConnectionFailed() {
  fTaskMgr->Stop();
  QMetaObject::invokeMethod(this, Guarded([this] { WMConnectionLost(); }), Qt::QueuedConnection);
}

void TMainForm::WMConnectionLost() {
  ShowModbusResult(1);
  OscillTimer.stop();
  // The recovery starts before the box: an unattended run reconnects while the box waits.
  if (fConnected) {
    NoteInterruptedTest();
    Disconnect();
    AutoConnectSwitchClick();
  }
  if (fConnectionLostShown) return;  // one box on screen at a time
  fConnectionLostShown = true;
  ShowCenteredMessage(this, "Connection lost !!!", TMsgKind::Error);
  fConnectionLostShown = false;
}

void TMainForm::ConnectionTimeout() { ShowModbusResult(1); }

void TMainForm::ModbusLedOn() { ModbusLed->SetLedOn(true); }

void TMainForm::ShowModbusResult(int32_t AError) {
  if (AError != 0) {
    ModbusLed->SetOnColor(0x0000FF);
    ModbusLed->SetLedOn(true);
  } else {
    ModbusLed->SetOnColor(0x00FFFF);
    ModbusLed->SetLedOn(false);
  }
}

void TMainForm::SetupModel(uint32_t model, uint32_t version) {
  const bool sensor = SetupModelLimits(model, fModel, fParameters->ResetCountersChecked());
  fModel.TempSensorEnable = sensor;
  PlaceCurrentPoint();
  // Every way of setting a value stops at the model's limits: digits, knobs and the auto-test,
  // which sets its steps through the knobs.
  UsetInd->MaxValue = static_cast<uint32_t>(ModelUmax);
  IsetInd->MaxValue = static_cast<uint32_t>(ModelImax);
  U_Knob->UpdateMinMax(10, ModelUmax);
  I_Knob->UpdateMinMax(1, ModelImax);
  fPresets->SetupModel();
  // The step table follows the connected model, also while its window is closed.
  if (TestForm && IsKnownModel(model))
    TestForm->SetModelLimits(static_cast<uint32_t>(ModelUmax), static_cast<uint32_t>(ModelImax),
                             static_cast<uint16_t>(CurrentDivider));
  setWindowTitle(ModelCaption(model, version, gData.STATE));
  fParameters->SetupModel();
  // Until the firmware is identified there is nothing to calibrate and no battery option.
  if (AdvancedForm) {
    AdvancedForm->SetTabVisible(AdvancedForm->BatteryTab(), false);
    AdvancedForm->SetTabVisible(AdvancedForm->CalibTab(), false);
  }
}

void TMainForm::DetectVersion(uint32_t model, uint32_t) {
  if (!DetectFirmwareFeatures(gData, fModel)) return;  // not this supply's block: ver_18 stays
  fCLR1 = Rgb565ToColor(static_cast<uint16_t>(gData.CLR1));
  fCLR2 = Rgb565ToColor(static_cast<uint16_t>(gData.CLR2));
  fCLR3 = Rgb565ToColor(static_cast<uint16_t>(gData.CLR3));
  SetDisplayColors(fCLR1, fCLR1);
  fPresets->LabelDefaultFlag();
  fParameters->DetectVersion();
  // The firmware class decides which profile and parameter fields may be edited.
  fPresets->EnableParameterControls(fConnected && !fPowerOn);
  TempLabel->setVisible(fModel.Temp);
  if (AdvancedForm) {
    AdvancedForm->SetTabVisible(AdvancedForm->BatteryTab(), fModel.BatterySourceEnable);
    AdvancedForm->SetTabVisible(AdvancedForm->CalibTab(), true);
  }
  ShowCalibrationModel(model);
  if (fVersionControlMessage && VersionNoticeDue(fModel.Version)) {
    fVersionControlMessage = 0;
    QMetaObject::invokeMethod(this, Guarded([this] { WMVersionMessage(); }), Qt::QueuedConnection);
  }
}

void TMainForm::WMVersionMessage() {
  if (const std::optional<QString> text = VersionNoticeText(fModel.Version))
    ShowCenteredMessage(this, *text, TMsgKind::Information);
}
