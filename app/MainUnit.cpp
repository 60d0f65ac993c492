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

#include "app/CategoryPanel.h"
#include "app/IpAddress.h"
#include "app/ProgramWindows.h"
#include "autotest/TestUnit.h"
#include "host/PointerDevices.h"
#include "host/SettingsStore.h"
#include "panel/EnterUnit.h"
#include "panel/EnterUnit2.h"

namespace {
constexpr int kBaudRates[] = {2400, 4800, 9600, 19200, 38400, 57600, 115200};
constexpr int kDefaultBaudIndex = 2;  // 9600
constexpr int kSlaveAddresses = 127;
}  // namespace

TMainForm::TMainForm(QWidget* parent) : QWidget(parent) {
  setObjectName("MainForm");
  // A fixed single border: the client area is exactly the front panel's 880 x 512.
  setFixedSize(880, 512);
  setWindowFlag(Qt::MSWindowsFixedSizeDialogHint);
  BuildLayout();
  FormCreate();
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    move(area.center() - rect().center());
  }
}

TMainForm::~TMainForm() = default;

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
  UsetPanel = AddPanel(SetPanel, "UsetPanel", 8, 7, 257, 81, true);
  IsetPanel = AddPanel(SetPanel, "IsetPanel", 271, 7, 257, 81, true);

  ToolBar1 = AddPanel(this, "ToolBar1", 332, 232, 440, 54);

  UnlockSetBtn = new QPushButton("Unlock SET", this);
  UnlockSetBtn->setObjectName("UnlockSetBtn");
  UnlockSetBtn->setGeometry(778, 232, 91, 27);
  UnlockSetBtn->setEnabled(false);
  TestBtn = new QPushButton("Auto Test", this);
  TestBtn->setObjectName("TestBtn");
  TestBtn->setGeometry(778, 259, 91, 27);
  TestBtn->setEnabled(false);

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
}

void TMainForm::BuildConnectionControls(TCategoryPanel* panel) {
  QWidget* surface = panel->Surface();
  BaudComboBox = new QComboBox(surface);
  BaudComboBox->setObjectName("BaudComboBox");
  BaudComboBox->setGeometry(110, 8, 90, 22);
  SlaveAddrComboBox = new QComboBox(surface);
  SlaveAddrComboBox->setObjectName("SlaveAddrComboBox");
  SlaveAddrComboBox->setGeometry(210, 8, 60, 22);
  IpMaskEdit = new QLineEdit(surface);
  IpMaskEdit->setObjectName("IpMaskEdit");
  IpMaskEdit->setGeometry(8, 38, 120, 22);
  // One required and two optional digits per octet; blanks are trimmed when the field is read.
  IpMaskEdit->setInputMask("900.900.900.900; ");
  IpMaskEdit->setText("192.168.001.001");
}

void TMainForm::FormCreate() {
  // 1. Start values (the field initialisers), and the set voltage the supply starts from.
  gData.USET = 10;
  // 2. Readout and set-value indicators, then the profile and parameter edit indicators,
  //    come with the front-panel readouts.
  // 3. Stored display settings.
  RestoreStoredSettings();
  // 4. Connection controls; the port list is filled by the connection handling.
  RestoreConnectionSettings();
  // 5. Caption; the grey disconnected display colours are applied with the readouts.
  setWindowTitle("Kelvora");
  // 6. The oscilloscope buffer and its scale controls come with the chart.
  // 7. The request scheduler; its events are bound by the polling handlers.
  fTaskMgr = std::make_unique<TLN_TaskMgr>(5);
  // 8. Slave address and logging state.
  fMBaddr = 1;
  Logging = false;
  fWebBrowserLoaded = false;
}

void TMainForm::RestoreStoredSettings() {
  fModel.RCNT = RegValueExists("RCNT") && RegReadInteger("RCNT") == 1;
  fCursorButtonsVisible =
      RegValueExists("UnDown") ? RegReadInteger("UnDown") > 0 : !SystemHasMouseWheel();
  if (RegValueExists("CLR1")) fCLR1 = static_cast<uint32_t>(RegReadInteger("CLR1"));
  if (RegValueExists("CLR2")) fCLR2 = static_cast<uint32_t>(RegReadInteger("CLR2"));
  if (RegValueExists("CLR3")) fCLR3 = static_cast<uint32_t>(RegReadInteger("CLR3"));
}

void TMainForm::RestoreConnectionSettings() {
  for (int rate : kBaudRates) BaudComboBox->addItem(QString::number(rate));
  BaudComboBox->setCurrentIndex(
      RegReadListIndex("BAUDRATE", BaudComboBox->count(), kDefaultBaudIndex));
  for (int address = 1; address <= kSlaveAddresses; ++address)
    SlaveAddrComboBox->addItem(QString::number(address));
  SlaveAddrComboBox->setCurrentIndex(RegReadListIndex("MBADDR", SlaveAddrComboBox->count(), 0));
  if (RegValueExists("TCP")) {
    fTcpIpAddr = static_cast<uint32_t>(RegReadInteger("TCP"));
    IpMaskEdit->setText(IpAddrToMaskText(fTcpIpAddr));
  }
}

void TMainForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!event->spontaneous()) FormShow();
}

void TMainForm::FormShow() {
  // Port notifications, automatic connection and the first oscilloscope drawing are started
  // here by the connection handling and the chart.
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
  // A running auto-test decides first; a live connection is disconnected before closing.
  return true;
}

void TMainForm::FormClose() {
  // 1. The log list is cleared by the data logging.
  // 2. The auto-test window closes with the main window.
  if (TestForm) TestForm->close();
  // 3. The scheduler is released.
  fTaskMgr.reset();
  // 4. Settings.
  StoreSettings();
}

void TMainForm::StoreSettings() {
  RegWriteInteger("UnDown", fCursorButtonsVisible ? 1 : 0);
  RegWriteInteger("RCNT", fModel.RCNT ? 1 : 0);
  RegWriteInteger("CLR1", static_cast<int32_t>(fCLR1));
  RegWriteInteger("CLR2", static_cast<int32_t>(fCLR2));
  RegWriteInteger("CLR3", static_cast<int32_t>(fCLR3));
  RegWriteInteger("BAUDRATE", BaudComboBox->currentIndex());
  RegWriteInteger("MBADDR", SlaveAddrComboBox->currentIndex());
}
