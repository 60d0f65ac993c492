#include "advanced/Calibration.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "advanced/CalibPicture.h"
#include "advanced/CalibText.h"
#include "advanced/EntryWindowLoan.h"
#include "advanced/ValuePanel.h"
#include "advanced/WaitFormUnit.h"
#include "core/ErrorReport.h"
#include "panel/EnterUnit2.h"
#include "panel/Indicator.h"

namespace {

struct TPointControls {
  const char* Start;
  const char* Caption;
  const char* Panel;
  const char* Hint;
  const char* Applay;
  const char* Indicator;
};

// In the order of the calibration record; the point index is the position plus 1.
constexpr std::array<TPointControls, TCalibration::kPoints> kPointControls{{
    {"Calib_Uin_Btn1", "Start U input  Low", "CalibDataPanel_Uin1", "Measured input voltage (low)",
     "Applay_Uin_Btn1", "UinInd1"},
    {"Calib_Uin_Btn2", "Start U input  High", "CalibDataPanel_Uin2",
     "Measured input voltage (high)", "Applay_Uin_Btn2", "UinInd2"},
    {"Calib_Uout_Btn1", "Start U output Low", "CalibDataPanel_Uout1",
     "Measured output voltage (low)", "Applay_Uout_Btn1", "UoutInd1"},
    {"Calib_Uout_Btn2", "Start U output High", "CalibDataPanel_Uout2",
     "Measured output voltage (high)", "Applay_Uout_Btn2", "UoutInd2"},
    {"Calib_Iout_Btn1", "Start I output Low", "CalibDataPanel_Iout1",
     "Measured output current (low)", "Applay_Iout_Btn1", "IoutInd1"},
    {"Calib_Iout_Btn2", "Start I output High", "CalibDataPanel_Iout2",
     "Measured output current (high)", "Applay_Iout_Btn2", "IoutInd2"},
    {"Calib_Temp_Btn2", "Start Temp. High", "CalibDataPanel_Temp2", "Measured temperature (high)",
     "Applay_Temp_Btn2", "TempInd2"},
}};

constexpr int kUin1 = 0, kUout2 = 3, kIout1 = 4, kIout2 = 5, kTmp2 = 6;

constexpr int kRowTop = 8, kRowPitch = 28, kRowHeight = 24;
constexpr QPoint kPictureAt(8, 214);

// Points 1 and 2 read the input, 3 and 4 the output voltage, 5 and 6 the output current.
TCalibration::TWiring WiringOf(int aTag) {
  using TWiring = TCalibration::TWiring;
  if (aTag <= 1) return TWiring::Uin;
  if (aTag <= 3) return TWiring::Uout;
  if (aTag <= 5) return TWiring::Iout;
  return TWiring::None;
}

}  // namespace

TCalibration::TCalibration(QWidget* aTab, const TDeviceSettingsHost& aHost)
    : QObject(aTab), fHost(aHost) {
  CreateIndicators();
  BuildPoints(aTab);
  BuildSide(aTab);
  fCalibBmp = LoadCalibPicture();
  ResetCalibPicture();
  DisableApplayBtns();
  UpdateSaveBtn();
  CalibDataChanged(nullptr);
}

TCalibration::~TCalibration() = default;

TCalibRecord& TCalibration::Record(int aTag) const { return (&fHost.CalibData.Uin1)[aTag]; }

void TCalibration::CreateIndicators() {
  for (int tag = 0; tag < kPoints; ++tag) {
    const bool temperature = tag == kTmp2;
    const bool current = tag == kIout1 || tag == kIout2;
    auto indicator = std::make_unique<TIndicator>(
        1, temperature ? 999 : 99999, temperature ? 3 : 5, temperature ? 1 : 4,
        &Record(tag).Value, temperature ? "C" : current ? "A" : "V");
    indicator->SetOnChange([this](void* sender) { CalibDataChanged(sender); });
    fIndicators[tag] = std::move(indicator);
  }
}

void TCalibration::BuildPoints(QWidget* aTab) {
  for (int tag = 0; tag < kPoints; ++tag) {
    const TPointControls& names = kPointControls[tag];
    const int y = kRowTop + tag * kRowPitch;
    auto* start = new QPushButton(names.Caption, aTab);
    start->setObjectName(names.Start);
    start->setGeometry(8, y, 140, kRowHeight);
    connect(start, &QPushButton::clicked, this, Guarded([this, tag] { StartPoint(tag + 1); }));
    auto* panel = new TValuePanel(names.Panel, tag, names.Hint, aTab);
    panel->setGeometry(156, y, 110, kRowHeight);
    panel->OnClick = [this](TValuePanel* sender) { CalibDataPanelClick(sender); };
    auto* applay = new QPushButton("Apply", aTab);
    applay->setObjectName(names.Applay);
    applay->setProperty("Tag", tag);
    applay->setGeometry(272, y, 60, kRowHeight);
    connect(applay, &QPushButton::clicked, this, Guarded([this, tag] { Applay_BtnClick(tag); }));
    fStartBtns[tag] = start;
    fPanels[tag] = panel;
    fApplayBtns[tag] = applay;
  }
}

void TCalibration::BuildSide(QWidget* aTab) {
  fIoutHighGroup = new QGroupBox(" I output High ", aTab);
  fIoutHighGroup->setObjectName("IoutHighGroup");
  fIoutHighGroup->setGeometry(344, 4, 120, 200);
  (new QVBoxLayout(fIoutHighGroup))->setAlignment(Qt::AlignTop);
  fIoutHighButtons = new QButtonGroup(fIoutHighGroup);

  fInputLabel = new QLabel(aTab);
  fInputLabel->setObjectName("InputLabel");
  fInputLabel->setGeometry(476, 8, 120, 40);
  fInputLabel->setAlignment(Qt::AlignCenter);
  QFont big = fInputLabel->font();
  big.setPixelSize(26);
  big.setBold(true);
  fInputLabel->setFont(big);

  auto* help = new QPushButton("Help", aTab);
  help->setObjectName("HelpFileBtn");
  help->setGeometry(486, 64, 100, 26);
  connect(help, &QPushButton::clicked, this, Guarded([this] {
            if (OnHelp) OnHelp();
          }));
  fCalib_Save_Btn = new QPushButton("Save", aTab);
  fCalib_Save_Btn->setObjectName("Calib_Save_Btn");
  fCalib_Save_Btn->setGeometry(486, 140, 100, 26);
  connect(fCalib_Save_Btn, &QPushButton::clicked, this, Guarded([this] { Calib_Save_BtnClick(); }));
  auto* cancel = new QPushButton("Cancel", aTab);
  cancel->setObjectName("Button16");
  cancel->setGeometry(486, 174, 100, 26);
  connect(cancel, &QPushButton::clicked, this, Guarded([this] {
            if (OnCloseWindow) OnCloseWindow();
          }));

  fImage1 = new QLabel(aTab);
  fImage1->setObjectName("Image1");
  fImage1->move(kPictureAt);
  fTermometerImage = new QLabel(aTab);
  fTermometerImage->setObjectName("TermometerImage");
  fTermometerImage->setPixmap(LoadThermometerPicture());
  fTermometerImage->adjustSize();
  fTermometerImage->move(kPictureAt + QPoint(420, 40));
  fTermometerImage->hide();
}

void TCalibration::CalibDataChanged(void*) {
  const uint32_t currentPoint = fIndicators[kIout1]->PointPos;
  for (int tag = 0; tag < kPoints; ++tag) {
    const uint32_t value = Record(tag).Value;
    QString caption;
    if (tag == kTmp2)
      caption = QString::number(value) + " C ";
    else if (tag == kIout1 || tag == kIout2)
      caption = FormatCalibValue(value, currentPoint) + " A ";
    else
      caption = FormatCalibValue(value, 4) + " V ";
    fPanels[tag]->setText(caption);
  }
}

void TCalibration::CalibDataPanelClick(TValuePanel* Sender) {
  if (!Sender || !Sender->isEnabled()) return;
  TEnterForm2* form = fHost.EnterForm2 ? fHost.EnterForm2() : nullptr;
  if (!form) return;
  LendEntryWindow(*form, *Sender->window());
  // Bottom edges level, the window's right edge 3 pixels inside the field's.
  const QPoint bottomRight = Sender->mapToGlobal(QPoint(Sender->width(), Sender->height()));
  form->move(bottomRight.x() - 3 - form->width(), bottomRight.y() - form->height());
  form->setToolTip(Sender->toolTip());
  form->SetOnUpdateMemory([this] { CalibDataChanged(nullptr); });
  const int tag = Sender->Tag();
  form->SetIndicator(tag >= 0 && tag < kPoints ? fIndicators[tag].get() : nullptr);
  form->show();
  form->activateWindow();
}

void TCalibration::StartPoint(int aIndex) {
  const int tag = aIndex - 1;
  DisableApplayBtns();
  ResetCalibPicture();
  if (tag == kIout2) fIoutHighGroup->setEnabled(false);
  DrawWiring(WiringOf(tag));
  fInputLabel->setText(tag == kUin1 ? "=6V" : ">25V");
  fPanels[tag]->setEnabled(true);
  fPanels[tag]->SetColor(kNotApplied);
  fApplayBtns[tag]->setEnabled(true);
  UpdateSaveBtn();
  fCalibrating = true;
  if (fHost.DoWriteCalibCmd)
    fHost.DoWriteCalibCmd(TCalib_Mode::calib_mode_start, static_cast<uint16_t>(aIndex),
                          tag == kIout2 ? GetIoutHighCurrent() : 0);
  if (tag == kTmp2) fTermometerImage->show();
}

void TCalibration::ResetCalibPicture() {
  fImage1->setPixmap(fCalibBmp);
  fImage1->adjustSize();
  fTermometerImage->hide();
}

void TCalibration::DrawWiring(TWiring aWiring) {
  if (aWiring == TWiring::None) return;
  QPixmap image = fImage1->pixmap();
  if (image.isNull()) return;
  if (aWiring == TWiring::Uin) DrawUinWiring(image);
  if (aWiring == TWiring::Uout) DrawUoutWiring(image);
  if (aWiring == TWiring::Iout) DrawIoutWiring(image);
  fImage1->setPixmap(image);
}

void TCalibration::Applay_BtnClick(int aTag) {
  if (aTag < 0 || aTag >= kPoints) return;
  fWaitForm.reset();
  fPanels[aTag]->SetColor(kApplied);
  // After the high output point the supply brings its output back down; the user waits for it.
  if (aTag == kUout2) fWaitForm = std::make_unique<TWaitForm>(fHost.gData.UOUT, fPanels[aTag]->window());
  DisableApplayBtns();
  UpdateSaveBtn();
  if (fHost.DoWriteCalibCmd)
    fHost.DoWriteCalibCmd(TCalib_Mode::calib_mode_fix, static_cast<uint16_t>(aTag + 1), 0);
  if (fWaitForm) {
    fWaitForm->exec();
    fWaitForm.reset();
  }
}

void TCalibration::Calib_Save_BtnClick() {
  if (fHost.DoWriteCalibCmd) fHost.DoWriteCalibCmd(TCalib_Mode::calib_mode_save, 0, 0);
  fCalib_Save_Btn->setEnabled(false);
  fCalibrating = false;
  ResetCalibPanelColors();
  if (OnCloseWindow) OnCloseWindow();
}

void TCalibration::FormClose() {
  if (!fCalibrating) return;
  if (fHost.DoWriteCalibCmd) fHost.DoWriteCalibCmd(TCalib_Mode::calib_mode_exit, 0, 0);
  fCalib_Save_Btn->setEnabled(false);
  DisableApplayBtns();
  fCalibrating = false;
  ResetCalibPanelColors();
}

void TCalibration::DisableApplayBtns() {
  for (int tag = 0; tag < kPoints; ++tag) {
    fApplayBtns[tag]->setEnabled(false);
    fPanels[tag]->setEnabled(false);
  }
  fIoutHighGroup->setEnabled(true);
}

void TCalibration::UpdateSaveBtn() {
  bool applied = false;
  for (const TValuePanel* panel : fPanels) applied = applied || panel->Color() == kApplied;
  fCalib_Save_Btn->setEnabled(applied);
}

void TCalibration::ResetCalibPanelColors() {
  for (TValuePanel* panel : fPanels) panel->SetColor(kNotApplied);
}

void TCalibration::FillIoutHighGroup(uint16_t Model) {
  for (QAbstractButton* button : fIoutHighButtons->buttons()) {
    // A new model brings new choices; the old ones go now, not at the next event.
    fIoutHighButtons->removeButton(button);
    const std::unique_ptr<QAbstractButton> gone(button);
  }
  int id = 0;
  for (const QString& item : IoutHighItems(Model)) {
    auto* button = new QRadioButton(item, fIoutHighGroup);
    button->setObjectName("IoutHigh_" + item);
    fIoutHighGroup->layout()->addWidget(button);
    fIoutHighButtons->addButton(button, id++);
  }
  // Without a choice there is no current to start the point with.
  fStartBtns[kIout2]->setEnabled(id > 0);
  SelectLowestIoutHigh();
}

void TCalibration::SelectLowestIoutHigh() {
  const QList<QAbstractButton*> buttons = fIoutHighButtons->buttons();
  if (!buttons.isEmpty()) buttons.back()->setChecked(true);
}

uint16_t TCalibration::GetIoutHighCurrent() const {
  const QAbstractButton* chosen = fIoutHighButtons->checkedButton();
  return chosen ? IoutHighCurrent(chosen->text()) : 0;
}

void TCalibration::SetCurrentDivider_10() {
  fCurrentDivider = 10;
  fIndicators[kIout1]->PointPos = 5;
  fIndicators[kIout2]->PointPos = 5;
}

void TCalibration::SetCurrentDivider_1() {
  fCurrentDivider = 1;
  fIndicators[kIout1]->PointPos = 4;
  fIndicators[kIout2]->PointPos = 4;
}
