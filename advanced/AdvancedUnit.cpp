#include "advanced/AdvancedUnit.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTextBrowser>
#include <QVBoxLayout>

#include "advanced/BatterySource.h"
#include "advanced/Calibration.h"
#include "advanced/ColorBox.h"
#include "advanced/EntryWindowLoan.h"
#include "advanced/HelpPages.h"
#include "core/Dialogs.h"
#include "core/ErrorReport.h"
#include "host/SettingsStore.h"
#include "logging/DataLog.h"
#include "logging/LogOptions.h"

namespace {

template <typename T>
T* Named(T* aWidget, const char* aName) {
  aWidget->setObjectName(aName);
  return aWidget;
}

QTextBrowser* MakeBrowser(QWidget* aPage, const char* aName) {
  auto* browser = Named(new QTextBrowser(aPage), aName);
  browser->setOpenLinks(true);
  browser->setOpenExternalLinks(true);
  auto* layout = new QVBoxLayout(aPage);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(browser);
  return browser;
}

QPixmap Logo() {
  QPixmap pixmap(160, 96);
  pixmap.fill(Qt::black);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(QColor(0, 255, 0), 3));
  painter.drawRoundedRect(QRectF(4, 4, 152, 88), 10, 10);
  QFont font = painter.font();
  font.setPixelSize(30);
  font.setBold(true);
  painter.setFont(font);
  painter.drawText(pixmap.rect(), Qt::AlignCenter, QStringLiteral("KPX"));
  return pixmap;
}

}  // namespace

TAdvancedForm::TAdvancedForm(TFirmwareUpdateHost aHost, const TDeviceSettingsHost& aDevice,
                             QWidget* parent)
    : QDialog(parent) {
  setObjectName("AdvancedForm");
  setWindowTitle("Advanced Parameters");
  // A dialog frame with the system menu only.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setFixedSize(609, 429);
  fPageControl1 = Named(new QTabWidget(this), "PageControl1");
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(fPageControl1);

  fColorTab = AddTab("ColorTab", "Colors and Update", BuildColorTab());
  fFirmwareUpdate = new TFirmwareUpdate(findChild<QWidget*>("Panel2"), std::move(aHost));
  AddTab("TabSheet1", "Test Logging", BuildLoggingTab());
  fCalibTab = AddTab("CalibTab", "Calibration");
  fCalibration = new TCalibration(fCalibTab, aDevice);
  fCalibration->OnHelp = [this] { HelpFileBtnClick(); };
  fCalibration->OnCloseWindow = [this] { reject(); };
  fHelpTab = AddTab("HelpTab", "Help");
  fWebBrowser2 = MakeBrowser(fHelpTab, "WebBrowser2");
  fBatteryTab = AddTab("BatteryTab", "Battery Source");
  fBatterySource = new TBatterySource(fBatteryTab, aDevice);
  fBatterySource->OnSave = [this] { accept(); };
  fBatterySource->OnCancel = [this] { reject(); };
  QWidget* presentation = AddTab("PresentationTab", "Presentation");
  fWebBrowser1 = MakeBrowser(presentation, "WebBrowser1");
  AddTab("AboutTab", "About", BuildAboutTab());
  // The calibration help appears only when asked for; calibration and battery source once the
  // supply's firmware has been identified.
  SetTabVisible(fHelpTab, false);
  SetTabVisible(fCalibTab, false);
  SetTabVisible(fBatteryTab, false);
  fPageControl1->setCurrentWidget(fColorTab);
  FormCreate();
}

TAdvancedForm::~TAdvancedForm() { ReturnEntryWindows(*this); }

QWidget* TAdvancedForm::AddTab(const char* aName, const QString& aCaption, QWidget* aPage) {
  if (!aPage) aPage = new QWidget;
  aPage->setObjectName(aName);
  fPageControl1->addTab(aPage, aCaption);
  return aPage;
}

QWidget* TAdvancedForm::BuildColorTab() {
  auto* page = new QWidget;
  auto* colors = new QGridLayout;
  const char* const captions[3] = {"Power OFF color", "Power ON color (CV)", "Power ON color (CC)"};
  for (int row = 0; row < 3; ++row) {
    const QByteArray n = QByteArray::number(row + 1);
    auto* label = Named(new QLabel(captions[row], page), QByteArray("Label" + n).constData());
    QComboBox* box = Named(new QComboBox(page), QByteArray("ColorBox" + n).constData());
    FillNamedColors(box);
    auto* button = Named(new QPushButton(">", page), QByteArray("ClrBtn" + n).constData());
    button->setFixedWidth(28);
    connect(button, &QPushButton::clicked, this, Guarded([this, row] { ClrBtnClick(row + 1); }));
    fColorBoxes[row] = box;
    colors->addWidget(label, 2 * row, 0, 1, 2);
    colors->addWidget(box, 2 * row + 1, 0);
    colors->addWidget(button, 2 * row + 1, 1);
  }
  colors->setRowStretch(6, 1);
  fOkBtn = Named(new QPushButton("Save", page), "OkBtn");
  connect(fOkBtn, &QPushButton::clicked, this, Guarded([this] { accept(); }));
  colors->addWidget(fOkBtn, 7, 0, 1, 2, Qt::AlignLeft);

  auto* panel2 = Named(new QWidget(page), "Panel2");
  auto* row = new QHBoxLayout(page);
  row->addLayout(colors, 2);
  row->addWidget(panel2, 3);
  return page;
}

QWidget* TAdvancedForm::BuildLoggingTab() {
  auto* page = new QWidget;
  auto* mode = new QGroupBox(page);
  fLogTimeRadioBtn = Named(new QRadioButton("Log by time", mode), "LogTimeRadioBtn");
  fLogIntervalComboBox = Named(new QComboBox(mode), "LogIntervalComboBox");
  fLogEventRadioBtn = Named(new QRadioButton("Log by event", mode), "LogEventRadioBtn");
  fUoutComboBox = Named(new QComboBox(mode), "UoutComboBox");
  fIoutComboBox = Named(new QComboBox(mode), "IoutComboBox");
  fUoutComboBox->addItems(UoutThresholdItems());
  fIoutComboBox->addItems(IoutThresholdItems());
  auto* modeLayout = new QGridLayout(mode);
  modeLayout->addWidget(fLogTimeRadioBtn, 0, 0);
  modeLayout->addWidget(fLogIntervalComboBox, 0, 1);
  modeLayout->addWidget(fLogEventRadioBtn, 1, 0);
  modeLayout->addWidget(fUoutComboBox, 1, 1);
  modeLayout->addWidget(fIoutComboBox, 2, 1);
  auto* modeGroup = new QButtonGroup(page);
  modeGroup->addButton(fLogTimeRadioBtn);
  modeGroup->addButton(fLogEventRadioBtn);
  fLogTimeRadioBtn->setChecked(true);
  for (QRadioButton* b : {fLogTimeRadioBtn, fLogEventRadioBtn})
    connect(b, &QRadioButton::toggled, this, Guarded([this] { UpdateLogControls(); }));

  auto* format = new QGroupBox(page);
  fLogExcelRadioBtn = Named(new QRadioButton("Save log in Excel format", format), "LogExcelRadioBtn");
  fLogTextRadioBtn = Named(new QRadioButton("Save log in text format", format), "LogTextRadioBtn");
  // Workbooks are written by the program itself: no spreadsheet program has to be installed.
  auto* label6 = Named(new QLabel("The program writes Excel workbooks (.xlsx) itself; no "
                                  "spreadsheet program needs to be installed.", format), "Label6");
  label6->setWordWrap(true);
  auto* formatLayout = new QVBoxLayout(format);
  formatLayout->addWidget(fLogExcelRadioBtn);
  formatLayout->addWidget(fLogTextRadioBtn);
  formatLayout->addWidget(label6);
  auto* formatGroup = new QButtonGroup(page);
  formatGroup->addButton(fLogExcelRadioBtn);
  formatGroup->addButton(fLogTextRadioBtn);
  fLogTextRadioBtn->setChecked(true);

  // What a test that a lost connection stopped leaves behind once the supply answers again.
  auto* loss = Named(new QGroupBox("Connection lost during a test", page), "LinkLossGroupBox");
  fLeaveOutputCheckBox =
      Named(new QCheckBox("leave the output as it is", loss), "LeaveOutputCheckBox");
  auto* lossLayout = new QVBoxLayout(loss);
  lossLayout->addWidget(fLeaveOutputCheckBox);

  auto* apply = Named(new QPushButton("Apply", page), "ApplayTestLogBtn");
  connect(apply, &QPushButton::clicked, this, Guarded([this] { ApplayTestLogBtnClick(); }));
  auto* column = new QVBoxLayout(page);
  column->addWidget(mode);
  column->addWidget(format);
  column->addWidget(loss);
  column->addStretch();
  column->addWidget(apply, 0, Qt::AlignRight);
  return page;
}

QWidget* TAdvancedForm::BuildAboutTab() {
  auto* page = new QWidget;
  auto* image = Named(new QLabel(page), "Image1");
  image->setPixmap(Logo());
  image->setAlignment(Qt::AlignCenter);
  auto* column = new QVBoxLayout(page);
  column->addStretch();
  column->addWidget(image);
  const char* const texts[4] = {
      "Kelvora",
      "Control program for KPX programmable DC bench power supplies",
      "Modbus RTU over USB and Bluetooth serial ports, Modbus TCP over Wi-Fi",
      "Firmware update through the STM32 UART bootloader"};
  for (int n = 0; n < 4; ++n) {
    auto* label = new QLabel(texts[n], page);
    label->setObjectName(QStringLiteral("Label%1").arg(n + 7));
    label->setAlignment(Qt::AlignCenter);
    column->addWidget(label);
  }
  column->addStretch();
  return page;
}

void TAdvancedForm::FormCreate() {
  fLogIntervalComboBox->addItems(LogIntervalItems());
  fLogIntervalComboBox->setCurrentIndex(kDefaultLogIntervalIndex);
  if (RegValueExists("LOG")) fLogEventRadioBtn->setChecked(RegReadInteger("LOG") > 0);
  // A stored index outside its list (written by another build, or edited) gives the default.
  fLogIntervalComboBox->setCurrentIndex(RegReadListIndex(
      "LTIM", fLogIntervalComboBox->count(), kDefaultLogIntervalIndex));
  fUoutComboBox->setCurrentIndex(
      RegReadListIndex("LUEV", fUoutComboBox->count(), kDefaultUoutThresholdIndex));
  fIoutComboBox->setCurrentIndex(
      RegReadListIndex("LIEV", fIoutComboBox->count(), kDefaultIoutThresholdIndex));
  fLeaveOutputCheckBox->setChecked(RegValueExists("LEAVEOUT") && RegReadInteger("LEAVEOUT") == 1);
  UpdateLogControls();
  fLogExcelRadioBtn->setEnabled(TDataLog::CheckExcelInstall());
  if (!fLogExcelRadioBtn->isEnabled())
    fLogTextRadioBtn->setChecked(true);
  else if (RegValueExists("EXCEL"))
    (RegReadInteger("EXCEL") > 0 ? fLogExcelRadioBtn : fLogTextRadioBtn)->setChecked(true);
}

void TAdvancedForm::StoreLogSettings() const {
  RegWriteInteger("LOG", fLogEventRadioBtn->isChecked() ? 1 : 0);
  RegWriteInteger("EXCEL", fLogExcelRadioBtn->isChecked() ? 1 : 0);
  RegWriteInteger("LTIM", fLogIntervalComboBox->currentIndex());
  RegWriteInteger("LUEV", fUoutComboBox->currentIndex());
  RegWriteInteger("LIEV", fIoutComboBox->currentIndex());
  RegWriteInteger("LEAVEOUT", fLeaveOutputCheckBox->isChecked() ? 1 : 0);
}

void TAdvancedForm::UpdateLogControls() {
  fLogIntervalComboBox->setEnabled(fLogTimeRadioBtn->isChecked());
  fUoutComboBox->setEnabled(fLogEventRadioBtn->isChecked());
  fIoutComboBox->setEnabled(fLogEventRadioBtn->isChecked());
}

int32_t TAdvancedForm::GetLogInterval() const {
  return ::GetLogInterval(fLogIntervalComboBox->currentIndex());
}

void TAdvancedForm::ApplayTestLogBtnClick() { reject(); }

QComboBox* TAdvancedForm::ColorBox(int aRow) const { return fColorBoxes[aRow - 1]; }

void TAdvancedForm::UpdateColorBox(QComboBox* aColorBox, uint32_t aColor) {
  ::UpdateColorBox(aColorBox, aColor);
}

void TAdvancedForm::ClrBtnClick(int aRow) {
  QComboBox* box = ColorBox(aRow);
  if (const std::optional<QColor> chosen = AskColor(this, BgrToQColor(SelectedColor(box))))
    UpdateColorBox(box, QColorToBgr(*chosen));
}

void TAdvancedForm::SetTabVisible(QWidget* aTab, bool aVisible) {
  fPageControl1->setTabVisible(fPageControl1->indexOf(aTab), aVisible);
}

bool TAdvancedForm::TabVisible(QWidget* aTab) const {
  return fPageControl1->isTabVisible(fPageControl1->indexOf(aTab));
}

void TAdvancedForm::LoadPresentation(bool aFirmwareIdentified) {
  fWebBrowser1->setSource(HelpPageUrl(aFirmwareIdentified ? kProgramHelpPath : kUpdateHelpPath));
}

void TAdvancedForm::HelpFileBtnClick() {
  fWebBrowser2->setSource(HelpPageUrl(kCalibrationHelpPath));
  SetTabVisible(fHelpTab, true);
  fPageControl1->setCurrentWidget(fHelpTab);
}

void TAdvancedForm::showEvent(QShowEvent* aEvent) {
  QDialog::showEvent(aEvent);
  if (!aEvent->spontaneous()) FormShow();
}

void TAdvancedForm::FormShow() { fFirmwareUpdate->FormShow(); }

void TAdvancedForm::changeEvent(QEvent* aEvent) {
  QDialog::changeEvent(aEvent);
  if (aEvent->type() == QEvent::ActivationChange && isActiveWindow()) FormActivate();
}

void TAdvancedForm::FormActivate() {
  if (OnCloseEntryWindows) OnCloseEntryWindows();
}

void TAdvancedForm::closeEvent(QCloseEvent* aEvent) {
  if (fFirmwareUpdate->Busy()) {
    aEvent->ignore();
    return;
  }
  QDialog::closeEvent(aEvent);
}

void TAdvancedForm::done(int aResult) {
  // The bootloader client holds the serial port until the update has ended.
  if (fFirmwareUpdate->Busy()) return;
  FormClose();
  QDialog::done(aResult);
}

void TAdvancedForm::FormClose() {
  if (OnCloseEntryWindows) OnCloseEntryWindows();
  ReturnEntryWindows(*this);
  fCalibration->FormClose();
}

void TAdvancedForm::CalibDataChanged() {
  SetTabVisible(fCalibTab, true);
  fCalibration->CalibDataChanged(nullptr);
}
