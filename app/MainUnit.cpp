#include "app/MainUnit.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

#include <chrono>

#include "app/CategoryPanel.h"
#include "core/ErrorReport.h"
#include "app/FocusedPanel.h"
#include "app/GuiWait.h"
#include "app/ToggleSwitch.h"
#include "host/PortWatcher.h"
#include "modbus/KRCOMPortConnector.h"
#include "modbus/KRModbusMaster.h"
#include "modbus/KRTCPConnector.h"
#include "panel/Indicator.h"
#include "app/IpAddress.h"
#include "app/ProgramWindows.h"
#include "advanced/AdvancedUnit.h"
#include "autotest/TestUnit.h"
#include "features/ClickableEdit.h"
#include "logging/DataLog.h"
#include "logging/LogOptions.h"
#include "features/Oscilloscope.h"
#include "features/Presets.h"
#include "features/Parameters.h"
#include "host/DataFolders.h"
#include "host/PointerDevices.h"
#include "host/SettingsStore.h"
#include "host/StoredFile.h"
#include "panel/EnterUnit.h"
#include "panel/EnterUnit2.h"

namespace {
uint32_t SteadyTicks() {
  using namespace std::chrono;
  return static_cast<uint32_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}
}  // namespace

TMainForm::TMainForm(QWidget* parent) : QWidget(parent) {
  setObjectName("MainForm");
  // A stored file that cannot be used is told once, when the window is up to tell it.
  SetStoredFileReporter([](const QString& text) {
    QMetaObject::invokeMethod(qApp, [text] { ReportError(text); }, Qt::QueuedConnection);
  });
  // A fixed single border: the client area is exactly the front panel's 880 x 512.
  setFixedSize(880, 512);
  setWindowFlag(Qt::MSWindowsFixedSizeDialogHint);
  fTicks = SteadyTicks;
  fCOMPortConnector = std::make_unique<TKRCOMPortConnector>();
  fCOMPortConnector->SetReadTimeout(500);
  fCOMPortConnector->SetWriteTimeout(500);
  fCOMPortConnector->SetWaitRespTime(1000);
  fCOMPortConnector->SetBaudRate(9600);
  fTCPConnector = std::make_unique<TKRTCPConnector>();
  fModbusMaster = std::make_unique<TKRModbusMaster>();
  fModbusMaster->SetCheckID(true);
  fModbusMaster->SetConnector(fCOMPortConnector.get());
  fCOMPortConnector->SetName("COMPortConnector");
  fTCPConnector->SetName("TCPConnector");
  fModbusMaster->SetName("ModbusMaster");
  // The library reports what it caught, possibly from a worker thread: the report is shown on
  // the GUI thread, after the handler that raised it.
  const TKRRuntimeErrorEv report = [this](void*, const QString& description, const std::exception& e) {
    const QString text = description + "\n" + QString::fromLocal8Bit(e.what());
    QMetaObject::invokeMethod(this, [text] { ReportError(text); }, Qt::QueuedConnection);
  };
  fModbusMaster->SetOnRuntimeError(report);
  fCOMPortConnector->SetOnRuntimeError(report);
  fTCPConnector->SetOnRuntimeError(report);
  // A TCP connect blocks for up to its time-out: the window keeps painting meanwhile.
  KRSetBlockingWaitHook(PaintPending);
  BuildLayout();
  FormCreate();
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    move(area.center() - rect().center());
  }
}

TMainForm::~TMainForm() {
  // The master lets go of its connector before the connectors go.
  fModbusMaster->SetActive(false);
  fModbusMaster.reset();
}

uint32_t TMainForm::CLR(int index) const {
  switch (index) {
    case 0: return fCLR0;
    case 1: return fCLR1;
    case 2: return fCLR2;
    default: return fCLR3;
  }
}

QFrame* TMainForm::AddPanel(QWidget* parent, const QString& name, int left, int top, int width,
                            int height, bool black) {
  auto* panel = new QFrame(parent);
  panel->setObjectName(name);
  panel->setGeometry(left, top, width, height);
  if (black) {
    panel->setAutoFillBackground(true);
    QPalette palette = panel->palette();
    palette.setColor(QPalette::Window, Qt::black);
    panel->setPalette(palette);
  }
  return panel;
}

void TMainForm::BuildLayout() {
  OscillPanel = AddPanel(this, "OscillPanel", 4, 4, 320, 220, true);

  CategoryPanelGroup1 = new TCategoryPanelGroup("CategoryPanelGroup1", this);
  CategoryPanelGroup1->setGeometry(4, 232, 320, 278);
  ScopePanel = CategoryPanelGroup1->AddPanel("ScopePanel", "Oscilloscope");
  ComPortPanel = CategoryPanelGroup1->AddPanel("ComPortPanel", "Connection");
  MemoryPanel = CategoryPanelGroup1->AddPanel("MemoryPanel", "Profile");
  ParametersPanel = CategoryPanelGroup1->AddPanel("ParametersPanel", "Parameters");
  ComPortPanel->SetCollapsed(false);
  BuildConnectionControls(ComPortPanel);

  SetPanel = AddPanel(this, "SetPanel", 330, 4, 539, 220);
  UsetPanel = new TLN_FocusedPanel("UsetPanel", SetPanel);
  UsetPanel->setGeometry(8, 7, 257, 81);
  IsetPanel = new TLN_FocusedPanel("IsetPanel", SetPanel);
  IsetPanel->setGeometry(271, 7, 257, 81);

  ToolBar1 = AddPanel(this, "ToolBar1", 332, 232, 440, 54);

  UnlockSetBtn = new QPushButton("Unlock SET", this);
  UnlockSetBtn->setObjectName("UnlockSetBtn");
  UnlockSetBtn->setGeometry(778, 232, 91, 27);
  UnlockSetBtn->setEnabled(false);
  TestBtn = new QPushButton("Auto Test", this);
  TestBtn->setObjectName("TestBtn");
  TestBtn->setGeometry(778, 259, 91, 27);
  TestBtn->setEnabled(false);
  connect(TestBtn, &QPushButton::clicked, this, Guarded([this] { TestBtnClick(); }));

  OutputPanel = AddPanel(this, "OutputPanel", 327, 292, 537, 217);
  auto* title = new QLabel("POWER OUTPUT", OutputPanel);
  title->setObjectName("OutputTitleLabel");
  title->setGeometry(0, 2, 537, 18);
  title->setAlignment(Qt::AlignCenter);
  UoutPanel = AddPanel(OutputPanel, "UoutPanel", 8, 23, 257, 81, true);
  IoutPanel = AddPanel(OutputPanel, "IoutPanel", 271, 23, 257, 81, true);
  TimePanel = AddPanel(OutputPanel, "TimePanel", 8, 110, 176, 42, true);
  PoutPanel = AddPanel(OutputPanel, "PoutPanel", 356, 110, 172, 42, true);
  AHPanel = AddPanel(OutputPanel, "AHPanel", 8, 158, 140, 24);
  WHPanel = AddPanel(OutputPanel, "WHPanel", 8, 182, 140, 24);
  OnOffBtn = new QPushButton(OutputPanel);
  OnOffBtn->setObjectName("OnOffBtn");
  OnOffBtn->setGeometry(376, 158, 136, 49);
  OnOffBtn->setEnabled(false);
  connect(OnOffBtn, &QPushButton::clicked, this, Guarded([this] { OnOffBtnClick(); }));
  BuildReadouts();
}

void TMainForm::FormCreate() {
  // 1. Start values (the field initialisers), and the set voltage the supply starts from.
  gData.USET = 10;
  // 2. Readout and set-value indicators; the profile and parameter edit indicators come with
  //    their panels.
  CreateIndicators();
  BuildSetControls();
  CreateParameters();
  UsetInd->SetOnChange([this](void*) { UsetIndChange(); });
  IsetInd->SetOnChange([this](void*) { IsetIndChange(); });
  // 3. Stored display settings.
  RestoreStoredSettings();
  fParameters->SetResetCountersChecked(fModel.RCNT);
  SetCursorButtonsVisible(fCursorButtonsVisible);
  // 4. Connection controls; the port list is filled by the connection handling.
  RestoreConnectionSettings();
  // 5. Caption and the grey colours of a disconnected panel.
  setWindowTitle("Kelvora");
  SetDisplayColors(fCLR0, fCLR0);
  // 6. The oscilloscope: its buffer, bitmap and scale controls.
  fOscilloscope = std::make_unique<TOscilloscope>(ScopePanel->Surface(), OscillPanel);
  fOscilloscope->IsConnected = [this] { return fConnected; };
  fOscilloscope->IsWindowVisible = [this] { return isVisible(); };
  // 7. The request scheduler; its events are bound by the polling handlers.
  fTaskMgr = std::make_unique<TLN_TaskMgr>(5);
  BindSchedulerEvents();
  // The preset buttons, the Profile panel and the charge display of the battery presets.
  fPresets = std::make_unique<TPresets>(TPresetsHost{
      gData, gMemory, fModel, *fTaskMgr, this, ToolBar1, MemoryPanel->Surface(),
      ParametersPanel->Surface(), OscillPanel, SetPanel, [this] { return fConnected; },
      [this](const QString& caption) { MemoryPanel->SetCaption(caption); },
      [this] { ShowSetValues(); },
      [this] { ++fPrevUset; }, [this] { ShowPresetKindControls(); },
      [this] { fParameters->UpdateParameterTexts(); },
      [this](TClickableEdit* sender) { ProfileEditClick(*sender); }});
  fPresets->EnableParameterControls(false);
  OscillTimer.setInterval(100);
  connect(&OscillTimer, &QTimer::timeout, this, Guarded([this] { OscillTimerTimer(); }));
  // 8. Slave address and logging state.
  fMBaddr = 1;
  fLogList = std::make_unique<TDataLog>();
  // A log being recorded is journalled where a crash cannot take it.
  fLogList->KeepJournalIn(ProgramDataFolder());
  Logging = false;
  // The thresholds are the advanced window's choices at the moment of each entry.
  LogUoutThreshold = [] {
    return AdvancedForm ? AdvancedForm->UoutComboBox()->currentIndex() : kDefaultUoutThresholdIndex;
  };
  LogIoutThreshold = [] {
    return AdvancedForm ? AdvancedForm->IoutComboBox()->currentIndex() : kDefaultIoutThresholdIndex;
  };
  fWebBrowserLoaded = false;
}

void TMainForm::RestoreStoredSettings() {
  // A value that is not a number counts as absent: its default stays.
  fModel.RCNT = RegReadNumber("RCNT") == 1;
  const std::optional<int32_t> cursorButtons = RegReadNumber("UnDown");
  fCursorButtonsVisible = cursorButtons ? *cursorButtons > 0 : !SystemHasMouseWheel();
  for (auto [name, colour] :
       {std::pair{"CLR1", &fCLR1}, std::pair{"CLR2", &fCLR2}, std::pair{"CLR3", &fCLR3}})
    if (const std::optional<int32_t> stored = RegReadNumber(name))
      *colour = static_cast<uint32_t>(*stored);
}

void TMainForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!event->spontaneous()) FormShow();
}

void TMainForm::FormShow() {
  fPortWatcher = RegisterPortNotification(this, [this](TPortChange change, const QString& port) {
    Guarded([this, change, port] { WMDeviceChange(change, port); })();
  });
  // The stored wish is kept even when its port is absent now: it applies when the port arrives.
  fAutoconnectWish = RegReadNumber("Autoconnect").value_or(0) != 0;
  if (AutoConnectSwitch->isEnabled()) AutoConnectSwitch->SetOn(fAutoconnectWish);
  fOscilloscope->DrawInitial();
  // Closing an entry window shows the edited profile and parameter values.
  for (TEnterFormBase* entry : {static_cast<TEnterFormBase*>(EnterForm), static_cast<TEnterFormBase*>(EnterForm2)})
    if (entry) {
      entry->SetOnUpdateMemory(Guarded([this] { fPresets->UpdateMemory(); }));
      // One wheel lock for the whole program: a notch is one step wherever it lands.
      entry->SetMouseWheelTimer(&MouseWheelTimer);
    }
}

void TMainForm::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) FormActivate();
}

void TMainForm::FormActivate() {
  // An entry window closes when the user returns to the main window.
  if (EnterForm && EnterForm->isVisible()) EnterForm->hide();
  if (EnterForm2 && EnterForm2->isVisible()) EnterForm2->hide();
}

void TMainForm::closeEvent(QCloseEvent* event) {
  if (fClosed) {
    event->accept();
    return;
  }
  if (!FormCloseQuery()) {
    event->ignore();
    return;
  }
  FormClose();
  fClosed = true;
  event->accept();
  // Closing the main window ends the program, whatever other window is still open.
  QApplication::quit();
}

bool TMainForm::FormCloseQuery() {
  // A running auto-test decides first; a live connection gives the keys back before closing.
  if (!AutoTestCloseQuery()) return false;
  if (fConnected) DisconnectBtnClick();
  return true;
}

void TMainForm::FormClose() {
  // 1. The log list.
  fLogList->ClearLogData();
  // 2. The auto-test window closes with the main window.
  if (TestForm) TestForm->close();
  // 3. The scheduler is released.
  fTaskMgr.reset();
  // 4. Settings, the advanced window's logging options with them.
  StoreSettings();
  if (AdvancedForm) AdvancedForm->StoreLogSettings();
}

void TMainForm::StoreSettings() {
  // What the user chose: the wish, not a switch that a failed open turned off; the check box
  // as shown, not the flag last taken from the supply.
  RegWriteInteger("Autoconnect", fAutoconnectWish ? 1 : 0);
  RegWriteInteger("UnDown", fCursorButtonsVisible ? 1 : 0);
  RegWriteInteger("RCNT", fParameters->ResetCountersChecked() ? 1 : 0);
  RegWriteInteger("CLR1", static_cast<int32_t>(fCLR1));
  RegWriteInteger("CLR2", static_cast<int32_t>(fCLR2));
  RegWriteInteger("CLR3", static_cast<int32_t>(fCLR3));
  RegWriteInteger("BAUDRATE", BaudComboBox->currentIndex());
  RegWriteInteger("MBADDR", SlaveAddrComboBox->currentIndex());
}
