#include "advanced/BatterySource.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "advanced/EntryWindowLoan.h"
#include "advanced/ValuePanel.h"
#include "core/ErrorReport.h"
#include "panel/EnterUnit.h"
#include "panel/Indicator.h"

QString FormatBatteryVoltage(uint32_t aValue) {
  QString text;
  if (aValue > 9999) {
    text = QStringLiteral("-----");
  } else {
    const auto digit = [aValue](uint32_t weight) { return QChar('0' + aValue / weight % 10); };
    text += aValue / 1000 == 0 ? QChar(' ') : digit(1000);
    text += digit(100);
    text += '.';
    text += digit(10);
    text += digit(1);
  }
  return text + " V ";
}

uint32_t ChargeLevel(uint32_t UIN, uint32_t MINS, uint32_t MAXS) {
  if (MINS > UIN) return 0;
  if (UIN > MAXS) return 100;
  // Here MINS <= UIN <= MAXS; with MAXS = MINS the battery stands at its full voltage.
  if (MAXS == MINS) return 100;
  return (UIN - MINS) * 100 / (MAXS - MINS);
}

TBatterySource::TBatterySource(QWidget* aTab, const TDeviceSettingsHost& aHost)
    : QObject(aTab), fHost(aHost) {
  uint32_t* const values[2] = {&fHost.gData.MAXS, &fHost.gData.MINS};
  for (int tag = 0; tag < 2; ++tag) {
    fIndicators[tag] = std::make_unique<TIndicator>(420, 9999, 4, 3, values[tag], "V");
    fIndicators[tag]->SetOnChange([this](void* sender) { BatteryDataChanged(sender); });
  }
  Build(aTab);
  BatteryDataChanged(nullptr);
}

TBatterySource::~TBatterySource() = default;

void TBatterySource::Build(QWidget* aTab) {
  fBatteryCheckBox = new QCheckBox("Use Battery Source", aTab);
  fBatteryCheckBox->setObjectName("BatteryCheckBox");
  fBatteryCheckBox->setGeometry(16, 12, 200, 24);
  connect(fBatteryCheckBox, &QCheckBox::clicked, this, Guarded([this] { BatteryCheckBoxClick(); }));

  fBatteryRadioGroup = new QGroupBox(" Battery Cells ", aTab);
  fBatteryRadioGroup->setObjectName("BatteryRadioGroup");
  fBatteryRadioGroup->setGeometry(16, 48, 140, 170);
  auto* column = new QVBoxLayout(fBatteryRadioGroup);
  fBatteryButtons = new QButtonGroup(fBatteryRadioGroup);
  for (int index = 0; index < static_cast<int>(kBatteryPresets.size()); ++index) {
    auto* button = new QRadioButton(kBatteryPresets[index].Item, fBatteryRadioGroup);
    button->setObjectName(QString("BatteryCells%1").arg(index));
    column->addWidget(button);
    fBatteryButtons->addButton(button, index);
  }
  connect(fBatteryButtons, &QButtonGroup::idClicked, this,
          Guarded([this](int index) { BatteryRadioGroupClick(index); }));

  const char* const captions[2] = {"Voltage for 100% charge", "Voltage for 0% charge"};
  const char* const names[2] = {"MAXS_Panel", "MINS_Panel"};
  const char* const hints[2] = {"Battery voltage at 100% charge", "Battery voltage at 0% charge"};
  for (int tag = 0; tag < 2; ++tag) {
    auto* label = new QLabel(captions[tag], aTab);
    label->setGeometry(180, 60 + 40 * tag, 170, 24);
    auto* panel = new TValuePanel(names[tag], tag, hints[tag], aTab);
    panel->setGeometry(356, 60 + 40 * tag, 100, 24);
    panel->OnClick = [this](TValuePanel* sender) { BatteryPanelClick(sender); };
    fPanels[tag] = panel;
  }

  fBatteryPanel = new QGroupBox(aTab);
  fBatteryPanel->setObjectName("BatteryPanel");
  fBatteryPanel->setGeometry(486, 40, 90, 220);
  fBatteryPanel->setAlignment(Qt::AlignHCenter);
  fProgressBar1 = new QProgressBar(fBatteryPanel);
  fProgressBar1->setObjectName("ProgressBar1");
  fProgressBar1->setOrientation(Qt::Vertical);
  fProgressBar1->setRange(0, 100);
  fProgressBar1->setTextVisible(false);
  auto* barColumn = new QVBoxLayout(fBatteryPanel);
  barColumn->addWidget(fProgressBar1, 0, Qt::AlignHCenter);

  fBatterySaveBtn = new QPushButton("Save", aTab);
  fBatterySaveBtn->setObjectName("BatterySaveBtn");
  fBatterySaveBtn->setGeometry(380, 330, 90, 26);
  connect(fBatterySaveBtn, &QPushButton::clicked, this, Guarded([this] {
            if (OnSave) OnSave();
          }));
  auto* cancel = new QPushButton("Cancel", aTab);
  cancel->setObjectName("Button1");
  cancel->setGeometry(486, 330, 90, 26);
  connect(cancel, &QPushButton::clicked, this, Guarded([this] {
            if (OnCancel) OnCancel();
          }));
}

void TBatterySource::UpdateBattery() {
  fBatteryCheckBox->setChecked(fHost.fModel.BSRC);
  BatteryDataChanged(nullptr);
}

void TBatterySource::BatteryCheckBoxClick() { BatteryDataChanged(nullptr); }

void TBatterySource::BatteryRadioGroupClick(int aIndex) {
  if (aIndex >= 0 && aIndex < static_cast<int>(kBatteryPresets.size())) {
    fHost.gData.MAXS = kBatteryPresets[aIndex].MAXS;
    fHost.gData.MINS = kBatteryPresets[aIndex].MINS;
  }
  BatteryDataChanged(fBatteryRadioGroup);
}

int TBatterySource::BatteryRadioIndex() const { return fBatteryButtons->checkedId(); }

void TBatterySource::SelectPreset(int aIndex) {
  // An exclusive group keeps one button checked; clearing needs the exclusivity lifted.
  fBatteryButtons->setExclusive(false);
  for (QAbstractButton* button : fBatteryButtons->buttons()) button->setChecked(false);
  fBatteryButtons->setExclusive(true);
  if (QAbstractButton* button = fBatteryButtons->button(aIndex)) button->setChecked(true);
}

void TBatterySource::BatteryDataChanged(void* Sender) {
  const TCurrentSet& data = fHost.gData;
  MAXS_Panel()->setText(FormatBatteryVoltage(data.MAXS));
  MINS_Panel()->setText(FormatBatteryVoltage(data.MINS));
  const bool on = fBatteryCheckBox->isChecked();
  MAXS_Panel()->setEnabled(on);
  MINS_Panel()->setEnabled(on);
  fBatteryRadioGroup->setEnabled(on);
  if (on && Sender != fBatteryRadioGroup) {
    int match = -1;
    for (int index = 0; index < static_cast<int>(kBatteryPresets.size()); ++index)
      if (kBatteryPresets[index].MAXS == data.MAXS) {
        match = index;
        break;
      }
    SelectPreset(match);
  }
  fBatteryPanel->setVisible(on);
  if (!on) return;
  const uint32_t level = ChargeLevel(data.UIN, data.MINS, data.MAXS);
  fProgressBar1->setValue(static_cast<int>(level));
  fBatteryPanel->setTitle(QString::number(level) + " %");
}

void TBatterySource::BatteryPanelClick(TValuePanel* Sender) {
  if (!Sender || !Sender->isEnabled()) return;
  TEnterForm* form = fHost.EnterForm ? fHost.EnterForm() : nullptr;
  if (!form) return;
  LendEntryWindow(*form, *Sender->window());
  // Left edges level, bottom edges level.
  const QPoint bottomLeft = Sender->mapToGlobal(QPoint(0, Sender->height()));
  form->move(bottomLeft.x(), bottomLeft.y() - form->height());
  form->setToolTip(Sender->toolTip());
  form->SetOnUpdateMemory([this] { BatteryDataChanged(nullptr); });
  form->SetIndicator(Sender->Tag() == 0 ? fIndicators[0].get() : fIndicators[1].get());
  form->show();
  form->activateWindow();
}
