#include "features/Oscilloscope.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>
#include <array>

#include "core/ErrorReport.h"
#include "core/UtilUnit.h"

namespace {

// Scale tables by up-down position, in 10 mV or 10 mA.
constexpr std::array<int32_t, 4> kVoltsPerDiv{100, 200, 500, 1000};
constexpr std::array<int32_t, 8> kAmpersPerDiv{2, 5, 10, 20, 50, 100, 200, 500};
constexpr std::array<int32_t, 11> kVoltShift{-2000, -1000, -500, -200, -100, 0,
                                             100,   200,   500,  1000, 2000};
constexpr std::array<int32_t, 19> kAmperShift{-500, -200, -100, -50, -20, -10, -5, -2, -1, 0,
                                              1,    2,    5,    10,  20,  50,  100, 200, 500};
constexpr int kVoltShiftZero = 5;
constexpr int kAmperShiftZero = 9;
constexpr int kVoltsStart = 0;
constexpr int kAmpersStart = 5;
constexpr int kChannelBoth = 3;

TUpDown* NewUpDown(QWidget* parent, const QString& name, int max, int position, QRect geometry,
                   TUDOrientation orientation) {
  auto* upDown = new TUpDown(parent);
  upDown->setObjectName(name);
  upDown->SetOrientation(orientation);
  upDown->SetMin(0);
  upDown->SetMax(max);
  upDown->SetPosition(position);
  upDown->setGeometry(geometry);
  return upDown;
}

QLabel* NewCaption(QWidget* parent, const QString& text, QRect geometry) {
  auto* label = new QLabel(text, parent);
  label->setGeometry(geometry);
  return label;
}

QCheckBox* NewAutoBox(QWidget* parent, const QString& name, QRect geometry) {
  auto* box = new QCheckBox("Auto", parent);
  box->setObjectName(name);
  box->setGeometry(geometry);
  box->setChecked(true);
  return box;
}

}  // namespace

TOscilloscope::TOscilloscope(QWidget* scopeSurface, QWidget* oscillPanel)
    : fOscBitmap(NewOscBitmap()), OscImage(new QLabel(oscillPanel)) {
  OscImage->setObjectName("OscImage");
  OscImage->setScaledContents(true);
  OscImage->setGeometry(oscillPanel->rect());
  OscImage->lower();  // whatever else the panel shows (the charge bar) stays in front
  BuildControls(scopeSurface);
  ClearOscData();
}

void TOscilloscope::BuildControls(QWidget* surface) {
  OscRadioGroup = new QGroupBox(surface);
  OscRadioGroup->setObjectName("OscRadioGroup");
  OscRadioGroup->setGeometry(6, 4, 208, 40);
  fChannelButtons = new QButtonGroup(OscRadioGroup);
  auto* row = new QHBoxLayout(OscRadioGroup);
  row->setContentsMargins(8, 4, 8, 4);
  const char* items[] = {"-0-", "V", "A", "V+A"};
  for (int index = 0; index < 4; ++index) {
    auto* item = new QRadioButton(items[index], OscRadioGroup);
    fChannelButtons->addButton(item, index);
    row->addWidget(item);
  }
  fChannelButtons->button(kChannelBoth)->setChecked(true);

  OscToggleSwitch = new QCheckBox("Run", surface);
  OscToggleSwitch->setObjectName("OscToggleSwitch");
  OscToggleSwitch->setGeometry(226, 14, 80, 22);
  OscToggleSwitch->setChecked(true);

  NewCaption(surface, "V/div", QRect(8, 56, 40, 22));
  // Scales step sideways, shifts move the trace up and down.
  VUpDown = NewUpDown(surface, "VUpDown", 3, kVoltsStart, QRect(50, 56, 40, 22), udHorizontal);
  OscVoltAutoCheckBox = NewAutoBox(surface, "OscVoltAutoCheckBox", QRect(98, 56, 60, 22));
  NewCaption(surface, "V shift", QRect(170, 56, 50, 22));
  VshiftUpDown =
      NewUpDown(surface, "VshiftUpDown", 10, kVoltShiftZero, QRect(226, 53, 20, 28), udVertical);

  NewCaption(surface, "A/div", QRect(8, 86, 40, 22));
  AUpDown = NewUpDown(surface, "AUpDown", 7, kAmpersStart, QRect(50, 86, 40, 22), udHorizontal);
  OscAmperAutoCheckBox = NewAutoBox(surface, "OscAmperAutoCheckBox", QRect(98, 86, 60, 22));
  NewCaption(surface, "A shift", QRect(170, 86, 50, 22));
  AshiftUpDown =
      NewUpDown(surface, "AshiftUpDown", 18, kAmperShiftZero, QRect(226, 83, 20, 28), udVertical);

  OscResetShiftBtn = new QPushButton("Reset Shift", surface);
  OscResetShiftBtn->setObjectName("OscResetShiftBtn");
  OscResetShiftBtn->setGeometry(8, 120, 100, 26);

  // Automatic ranging owns the scale, so the shift stays at zero and out of reach meanwhile.
  VshiftUpDown->setEnabled(false);
  AshiftUpDown->setEnabled(false);

  VUpDown->SetOnClick(Guarded([this] { VUpDownClick(); }));
  AUpDown->SetOnClick(Guarded([this] { AUpDownClick(); }));
  VshiftUpDown->SetOnClick(Guarded([this] { OscUpdateClick(); }));
  AshiftUpDown->SetOnClick(Guarded([this] { OscUpdateClick(); }));
  // A box unchecked by a scale click changes its shift control too, hence toggled, not clicked.
  connect(OscVoltAutoCheckBox, &QCheckBox::toggled, this,
          Guarded([this] { OscVoltAutoCheckBoxClick(); }));
  connect(OscAmperAutoCheckBox, &QCheckBox::toggled, this,
          Guarded([this] { OscAmperAutoCheckBoxClick(); }));
  connect(fChannelButtons, &QButtonGroup::idClicked, this, Guarded([this] { OscRadioGroupClick(); }));
  connect(OscResetShiftBtn, &QPushButton::clicked, this, Guarded([this] { OscResetShiftBtnClick(); }));
  connect(OscToggleSwitch, &QCheckBox::toggled, this, Guarded([this] { OscToggleSwitchClick(); }));
}

// ---- Owner's calls ----------------------------------------------------------------------------

void TOscilloscope::OscillTick(uint32_t uout, uint32_t iout) {
  if (!Running()) return;
  // Currents are kept in 10 mA whatever the model's unit.
  fOscData[fOscIdx % kOscWidth] = {static_cast<uint16_t>(uout),
                                   static_cast<uint16_t>(iout / static_cast<uint32_t>(CurrentDivider))};
  DrawOscilloscope(fOscIdx);
  ++fOscIdx;
  // Once the ring is full only the position within it matters (the grid period divides the
  // ring), so the count is kept from running into overflow.
  if (fOscIdx >= 2 * kOscWidth) fOscIdx -= kOscWidth;
}

bool TOscilloscope::Running() const { return OscToggleSwitch->isChecked(); }

void TOscilloscope::SetRun(bool value) { OscToggleSwitch->setChecked(value); }

void TOscilloscope::ClearOscData() {
  fOscData.fill({0, 0});
  fOscIdx = 0;
}

void TOscilloscope::DrawInitial() { DrawOscilloscope(fOscIdx - 1); }

// ---- Control handlers -------------------------------------------------------------------------

// While running on a live link the next tick redraws anyway; otherwise redraw once the
// present handler has finished changing the controls.
void TOscilloscope::OscUpdateClick() {
  const bool connected = IsConnected && IsConnected();
  if (WindowVisible() && (!connected || !Running()))
    QMetaObject::invokeMethod(this, Guarded([this] { WMOscRedraw(); }), Qt::QueuedConnection);
}

void TOscilloscope::WMOscRedraw() {
  if (WindowVisible()) DrawOscilloscope(fOscIdx - 1);
}

// A scale chosen by hand ends automatic ranging for that channel.
void TOscilloscope::VUpDownClick() {
  OscUpdateClick();
  OscVoltAutoCheckBox->setChecked(false);
}

void TOscilloscope::AUpDownClick() {
  OscUpdateClick();
  OscAmperAutoCheckBox->setChecked(false);
}

void TOscilloscope::OscVoltAutoCheckBoxClick() {
  const bool automatic = OscVoltAutoCheckBox->isChecked();
  VshiftUpDown->setEnabled(!automatic);
  if (!automatic) return;
  VshiftUpDown->SetPosition(kVoltShiftZero);
  OscUpdateClick();
}

void TOscilloscope::OscAmperAutoCheckBoxClick() {
  const bool automatic = OscAmperAutoCheckBox->isChecked();
  AshiftUpDown->setEnabled(!automatic);
  if (!automatic) return;
  AshiftUpDown->SetPosition(kAmperShiftZero);
  OscUpdateClick();
}

void TOscilloscope::OscRadioGroupClick() { OscUpdateClick(); }

void TOscilloscope::OscResetShiftBtnClick() {
  VshiftUpDown->SetPosition(kVoltShiftZero);
  AshiftUpDown->SetPosition(kAmperShiftZero);
  OscUpdateClick();
}

// Back on "Run" the trace starts afresh from the right edge.
void TOscilloscope::OscToggleSwitchClick() {
  OscToggleSwitch->setText(Running() ? "Run" : "Hold");
  if (Running()) ClearOscData();
}

// ---- Drawing ----------------------------------------------------------------------------------

void TOscilloscope::DrawOscilloscope(int32_t Newest) {
  AutoRangeOscilloscope(Newest);
  const TOscScale scale{kVoltsPerDiv[VUpDown->Position()], kVoltShift[VshiftUpDown->Position()],
                        kAmpersPerDiv[AUpDown->Position()], kAmperShift[AshiftUpDown->Position()],
                        fChannelButtons->checkedId()};
  DrawOscChart(fOscBitmap, fOscData, Newest, scale, QLocale().decimalPoint());
  OscImage->setPixmap(QPixmap::fromImage(fOscBitmap));
}

void TOscilloscope::AutoRangeOscilloscope(int32_t Newest) {
  const bool voltAuto = OscVoltAutoCheckBox->isChecked();
  const bool amperAuto = OscAmperAutoCheckBox->isChecked();
  if (!voltAuto && !amperAuto) return;
  const int n = std::min(Newest + 1, kOscWidth);
  uint32_t vmax = 0;
  uint32_t amax = 0;
  for (int k = 0; k < n; ++k) {
    vmax = std::max<uint32_t>(vmax, fOscData[k].Volt);
    amax = std::max<uint32_t>(amax, fOscData[k].Amper);
  }
  if (voltAuto) VUpDown->SetPosition(OscAutoRangePosition(vmax, kVoltsPerDiv));
  if (amperAuto) AUpDown->SetPosition(OscAutoRangePosition(amax, kAmpersPerDiv));
}

bool TOscilloscope::WindowVisible() const {
  return IsWindowVisible ? IsWindowVisible() : OscImage->window()->isVisible();
}
