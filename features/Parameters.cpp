#include "features/Parameters.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>

#include "core/ErrorReport.h"
#include "core/TaskUnit.h"
#include "features/ClickableEdit.h"
#include "features/EditClick.h"
#include "panel/EnterUnit.h"
#include "panel/Indicator.h"

namespace {
constexpr int kCelsiusIndex = 0, kFahrenheitIndex = 1;
constexpr int kBacklightMin = 1, kBacklightMaxBefore42 = 5;
constexpr uint32_t kParamFahrenheit = 1, kParamResetCounters = 2;
constexpr uint32_t kFlagClear = 0x8000, kFlagSet = 0x8001;  // whole-register flags before 4.2

TClickableEdit* AddEdit(QWidget* parent, const QString& name, const QString& caption,
                        const QString& hint, int tag, int top) {
  auto* label = new QLabel(caption, parent);
  label->setGeometry(8, top + 3, 84, 16);
  auto* edit = new TClickableEdit(name, tag, hint, parent);
  edit->setGeometry(96, top, 56, 22);
  return edit;
}

QCheckBox* AddCheckBox(QWidget* parent, const QString& name, const QString& caption, int top) {
  auto* box = new QCheckBox(caption, parent);
  box->setObjectName(name);
  box->setGeometry(8, top, 170, 18);
  return box;
}

QPushButton* AddButton(QWidget* parent, const QString& name, const QString& caption, int top) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(name);
  button->setGeometry(224, top, 84, 26);
  return button;
}
}  // namespace

uint32_t CelsiusToFahrenheit(uint32_t celsius) { return (celsius * 9 + 2) / 5 + 32; }

uint32_t FahrenheitToCelsius(uint32_t fahrenheit) {
  if (fahrenheit <= 32) return 0;
  return ((fahrenheit - 32) * 5 + 4) / 9;
}

TParameters::TParameters(QWidget* surface, TParametersHost host) : fHost(std::move(host)) {
  fOHPInd = std::make_unique<TIndicator>(32, 300, 3, 1, &fOHP, "C");
  fMaxMemInd = std::make_unique<TIndicator>(1, 20, 2, 1, &fHost.gData.MMAX, "");
  BuildControls(surface);
}

TParameters::~TParameters() = default;

void TParameters::BuildControls(QWidget* surface) {
  CF_RadioGroup = new QGroupBox("Temperature", surface);
  CF_RadioGroup->setObjectName("CF_RadioGroup");
  CF_RadioGroup->setGeometry(8, 4, 100, 44);
  fCFButtons = new QButtonGroup(CF_RadioGroup);
  for (int index : {kCelsiusIndex, kFahrenheitIndex}) {
    auto* item = new QRadioButton(index == kCelsiusIndex ? "C" : "F", CF_RadioGroup);
    item->setObjectName(index == kCelsiusIndex ? "CF_RadioGroupC" : "CF_RadioGroupF");
    item->setGeometry(10 + 44 * index, 20, 40, 18);
    fCFButtons->addButton(item, index);
  }
  fCFButtons->button(kCelsiusIndex)->setChecked(true);
  CF_RadioGroup->setEnabled(false);

  auto* backlight = new QGroupBox("Backlight", surface);
  backlight->setObjectName("BacklightGroup");
  backlight->setGeometry(116, 4, 192, 44);
  P_BacklightTrackBar = new QSlider(Qt::Horizontal, backlight);
  P_BacklightTrackBar->setObjectName("P_BacklightTrackBar");
  P_BacklightTrackBar->setGeometry(8, 18, 176, 22);
  P_BacklightTrackBar->setRange(kBacklightMin, kBacklightMaxBefore42);
  P_BacklightTrackBar->setTickPosition(QSlider::TicksBelow);
  P_BacklightTrackBar->setPageStep(1);

  P_OHPEdit = AddEdit(surface, "P_OHPEdit", "Overheating", "Overheating Protection", kOHPTag, 56);
  P_MaxMemEdit = AddEdit(surface, "P_MaxMemEdit", "Max Memory", "Max Memory Number", kMaxMemTag, 82);
  for (TClickableEdit* edit : {P_OHPEdit, P_MaxMemEdit})
    edit->OnClick = Guarded([this](TClickableEdit* sender) { EditClick(*sender); });
  P_ResetCountersCheckBox = AddCheckBox(surface, "P_ResetCountersCheckBox", "Reset Counters", 110);
  fUpDownCheckBox = AddCheckBox(surface, "UpDownCheckBox", "Show Cursor Buttons", 132);
  P_SaveBtn = AddButton(surface, "P_SaveBtn", "Save", 56);
  P_AdvancedBtn = AddButton(surface, "P_AdvancedBtn", "Advanced", 88);

  connect(P_SaveBtn, &QPushButton::clicked, this, Guarded([this] { P_SaveBtnClick(); }));
  connect(P_AdvancedBtn, &QPushButton::clicked, this, Guarded([this] { P_AdvancedBtnClick(); }));
  connect(P_ResetCountersCheckBox, &QCheckBox::clicked, this,
          Guarded([this] { P_ResetCountersCheckBoxClick(); }));
  connect(fUpDownCheckBox, &QCheckBox::clicked, this, Guarded([this] { UpDownCheckBoxClick(); }));
}

TIndicator& TParameters::Edit(int tag) const { return tag == kOHPTag ? *fOHPInd : *fMaxMemInd; }

void TParameters::EditClick(TClickableEdit& Sender) {
  if (!fHost.Connected() || fHost.PowerOn()) return;
  TEnterForm* form = fHost.EnterForm ? fHost.EnterForm() : nullptr;
  if (!form) return;
  ::EditClick(Sender, *form, Edit(Sender.Tag()), fHost.UpdateMemory);
}

bool TParameters::Fahrenheit() const { return fOHPInd->ValueName == "F"; }

void TParameters::UpdateOHPUnit() {
  const uint32_t celsius = fHost.gData.OHP;
  fOHP = fHost.fModel.CF ? CelsiusToFahrenheit(celsius) : celsius;
  fOHPInd->ValueName = fHost.fModel.CF ? "F" : "C";
}

void TParameters::ShowOHP() {
  UpdateOHPUnit();
  P_OHPEdit->setText(FormatFixed(fOHP, 1));
}

void TParameters::Set_CF_RadioGroup() {
  const uint32_t tmp = fHost.gData.TMP;
  if (fHost.fModel.CF) {
    fCFButtons->button(kFahrenheitIndex)->setChecked(true);
    fHost.TempLabel->setText("T " + QString::number(CelsiusToFahrenheit(tmp)) + "F");
  } else {
    fCFButtons->button(kCelsiusIndex)->setChecked(true);
    fHost.TempLabel->setText("T " + QString::number(tmp) + "C");
  }
  ShowOHP();
}

void TParameters::UpdateParameterTexts() {
  // The unit the limit was edited in decides, whatever the flag says by now.
  fHost.gData.OHP = Fahrenheit() ? FahrenheitToCelsius(fOHP) : fOHP;
  P_OHPEdit->setText(FormatFixed(fOHP, 1));
  P_MaxMemEdit->setText(FormatFixed(fHost.gData.MMAX, 1));
}

void TParameters::SetupModel() {
  P_BacklightTrackBar->setMaximum(kBacklightMaxBefore42);
  CF_RadioGroup->setEnabled(false);
  // The limit is shown in the unit of the flag the program now holds.
  ShowOHP();
}

void TParameters::DetectVersion() {
  Set_CF_RadioGroup();
  P_MaxMemEdit->setText(FormatFixed(fHost.gData.MMAX, 1));
  P_ResetCountersCheckBox->setChecked(fHost.fModel.RCNT);
  CF_RadioGroup->setEnabled(fHost.fModel.Temp);
  // The connect read found the level while the range was still that of old firmware.
  const uint32_t before = static_cast<uint32_t>(P_BacklightTrackBar->maximum());
  P_BacklightTrackBar->setMaximum(fHost.fModel.BacklightMax);
  if (fHost.gData.BLED > before) SetBacklightPosition(fHost.gData.BLED);
}

void TParameters::SetBacklightPosition(uint32_t bled) {
  P_BacklightTrackBar->setValue(static_cast<int>(bled));
}

bool TParameters::ResetCountersChecked() const { return P_ResetCountersCheckBox->isChecked(); }

void TParameters::SetResetCountersChecked(bool checked) {
  P_ResetCountersCheckBox->setChecked(checked);
}

void TParameters::P_SaveBtnClick() {
  TLN_TaskMgr* taskMgr = fHost.TaskMgr();
  if (!fHost.Connected() || !taskMgr) return;
  TCurrentSet& gData = fHost.gData;
  TModel& fModel = fHost.fModel;
  // 1. The backlight goes on its own register.
  gData.BLED = static_cast<uint32_t>(P_BacklightTrackBar->value());
  taskMgr->WriteBled();
  // 2.
  fModel.RCNT = P_ResetCountersCheckBox->isChecked();
  fModel.CF = fCFButtons->checkedId() == kFahrenheitIndex;
  // 3. The flags in the register layout of the firmware.
  const TVersion version = fModel.Version;
  if (version >= TVersion::ver_42) {
    SetBits(gData.PARAM, kParamResetCounters, fModel.RCNT);
    SetBits(gData.PARAM, kParamFahrenheit, fModel.CF);
  } else if (version != TVersion::ver_18) {
    gData.PVER = fModel.RCNT ? kFlagSet : kFlagClear;
    gData.BCKL = fModel.CF ? kFlagSet : kFlagClear;
  }
  // 4. The limit follows the unit just chosen.
  if (fModel.TempSensorEnable)
    Set_CF_RadioGroup();
  else
    ShowOHP();
  // 5. Firmware that was never asked for its global block gets none: it would receive zeros
  // and stale values (a limit of 0, black colours).
  if (version != TVersion::ver_18) taskMgr->WriteGlobalData();
}

void TParameters::P_ResetCountersCheckBoxClick() {
  if (fHost.fModel.Version == TVersion::ver_18)
    fHost.fModel.RCNT = P_ResetCountersCheckBox->isChecked();
}

void TParameters::UpDownCheckBoxClick() {
  if (fHost.SetCursorButtonsVisible) fHost.SetCursorButtonsVisible(fUpDownCheckBox->isChecked());
}

void TParameters::P_AdvancedBtnClick() {
  if (fHost.ShowAdvancedForm) fHost.ShowAdvancedForm();
}
