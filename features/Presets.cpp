#include "features/Presets.h"

#include <QAbstractSlider>
#include <QButtonGroup>
#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

#include "core/Dialogs.h"
#include "core/ErrorReport.h"
#include "features/ClickableEdit.h"
#include "features/PresetText.h"
#include "panel/Indicator.h"

namespace {
enum TProfileTag { tagUset, tagIset, tagOvp, tagOcp, tagOpp, tagOtp };

constexpr int kButtonWidth = 44;
constexpr int kButtonHeight = 27;
constexpr uint32_t kMaxOvertime = 5999;  // 99:59

int CurrentPointPos() { return CurrentDivider == 10 ? 4 : 3; }

QLabel* AddLabel(QWidget* parent, const QString& text, int x, int y, int w) {
  auto* label = new QLabel(text, parent);
  label->setGeometry(x, y, w, 22);
  return label;
}
}  // namespace

TPresets::TPresets(TPresetsHost host) : fHost(std::move(host)) {
  CreateEditIndicators();
  BuildToolBar();
  BuildProfile(fHost.ProfileSurface);
  BuildChargeDisplay();
}

TPresets::~TPresets() = default;

TIndicator* TPresets::EditIndicator(int tag) const {
  return tag >= 0 && tag < kProfileEdits ? fEdits[static_cast<size_t>(tag)].get() : nullptr;
}

void TPresets::CreateEditIndicators() {
  TMemorySet& m = fHost.Memory;
  const auto umax = static_cast<uint32_t>(ModelUmax);
  const auto imax = static_cast<uint32_t>(ModelImax);
  const auto p = static_cast<uint32_t>(CurrentPointPos());
  fEdits[tagUset] = std::make_unique<TIndicator>(10, umax, 4, 3, &m.USET, "V");
  fEdits[tagIset] = std::make_unique<TIndicator>(1, imax, 4, p, &m.ISET, "A");
  fEdits[tagOvp] = std::make_unique<TIndicator>(10, umax, 4, 3, &m.SOVP, "V");
  fEdits[tagOcp] = std::make_unique<TIndicator>(
      1, imax + 10 * static_cast<uint32_t>(CurrentDivider), 4, p, &m.SOCP, "A");
  fEdits[tagOpp] = std::make_unique<TIndicator>(1, static_cast<uint32_t>(ModelPmax), 4, 2, &m.SOPP, "W");
  fEdits[tagOtp] = std::make_unique<TIndicator>(1, kMaxOvertime, 4, 3, &m.OTIM, "h");
  fEdits[tagOtp]->SetHoursMinutes(true);
}

void TPresets::SetupModel() {
  const auto p = static_cast<uint32_t>(CurrentPointPos());
  fEdits[tagUset]->MaxValue = static_cast<uint32_t>(ModelUmax);
  fEdits[tagOvp]->MaxValue = static_cast<uint32_t>(ModelUmax);
  fEdits[tagIset]->MaxValue = static_cast<uint32_t>(ModelImax);
  fEdits[tagOcp]->MaxValue = static_cast<uint32_t>(ModelImax + 10 * CurrentDivider);
  fEdits[tagOpp]->MaxValue = static_cast<uint32_t>(ModelPmax);
  fEdits[tagIset]->PointPos = p;
  fEdits[tagOcp]->PointPos = p;
  LabelDefaultFlag();
}

void TPresets::LabelDefaultFlag() {
  M_DefaultCheckBox->setText(fHost.Model.Version == TVersion::ver_18 ? "Default on start"
                                                                      : "Soft Front");
}

// ---- Layout -------------------------------------------------------------------------------

void TPresets::BuildToolBar() {
  fButtonGroup = new QButtonGroup(fHost.ToolBar);
  fButtonGroup->setExclusive(true);
  for (int i = 0; i < static_cast<int>(kPresetCount); ++i) {
    const bool memory = i < static_cast<int>(kMemoryPresets);
    const int n = memory ? i : i - static_cast<int>(kMemoryPresets);
    auto* button = new QToolButton(fHost.ToolBar);
    button->setObjectName(QString(memory ? "ToolButtonM%1" : "ToolButtonC%1").arg(n));
    button->setText(n == 0 ? QString(memory ? " M0 " : " C0 ") : PresetName(static_cast<uint32_t>(i)));
    button->setProperty("Tag", i);
    button->setCheckable(true);
    button->setEnabled(false);
    button->setGeometry(n * kButtonWidth, memory ? 0 : kButtonHeight, kButtonWidth, kButtonHeight);
    fButtonGroup->addButton(button, i);
    connect(button, &QToolButton::pressed, this,
            Guarded([this, button, memory] {
              fLongPressDone = false;
              if (memory) ToolButtonMouseDown(button);
            }));
    connect(button, &QToolButton::released, this, Guarded([this] { ToolButtonMouseUp(); }));
    connect(button, &QToolButton::clicked, this, Guarded([this, button] { ToolButtonClick(button); }));
    fButtons[static_cast<size_t>(i)] = button;
  }
  MemBtnTimer = new QTimer(fHost.ToolBar);
  MemBtnTimer->setObjectName("MemBtnTimer");
  MemBtnTimer->setInterval(kLongPressMs);
  connect(MemBtnTimer, &QTimer::timeout, this, Guarded([this] { MemBtnTimerTimer(); }));
}

void TPresets::BuildProfile(QWidget* surface) {
  struct TField {
    const char* Name;
    const char* Label;
    const char* Hint;
    const char* Unit;
  };
  static const TField fields[kProfileEdits] = {
      {"M_UsetEdit", "U set", "U set", "V"},
      {"M_IsetEdit", "I set", "I set", "A"},
      {"M_OvpEdit", "OVP", "Over Voltage Protection", "V"},
      {"M_OcpEdit", "OCP", "Over Current Protection", "A"},
      {"M_OppEdit", "OPP", "Over Power Protection", "W"},
      {"M_OtpEdit", "OTP", "Overtime Protection", "h"},
  };
  for (int tag = 0; tag < kProfileEdits; ++tag) {
    const TField& f = fields[tag];
    const int x = tag % 2 == 0 ? 8 : 164;
    const int y = 8 + tag / 2 * 30;
    AddLabel(surface, f.Label, x, y, 48);
    auto* edit = new TClickableEdit(f.Name, tag, f.Hint, surface);
    edit->setGeometry(x + 50, y, 76, 22);
    edit->setEnabled(false);
    edit->OnClick = Guarded([this](TClickableEdit* sender) {
      if (fHost.EditClick) fHost.EditClick(sender);
    });
    AddLabel(surface, f.Unit, x + 130, y, 18);
    fEditBoxes[static_cast<size_t>(tag)] = edit;
  }
  M_DefaultCheckBox = new QCheckBox("Default on start", surface);
  M_DefaultCheckBox->setObjectName("M_DefaultCheckBox");
  M_DefaultCheckBox->setGeometry(8, 98, 150, 20);
  M_PowerCheckBox = new QCheckBox("Power on start", surface);
  M_PowerCheckBox->setObjectName("M_PowerCheckBox");
  M_PowerCheckBox->setGeometry(164, 98, 150, 20);
  M_RefreshBtn = new QPushButton("Refresh", surface);
  M_RefreshBtn->setObjectName("M_RefreshBtn");
  M_RefreshBtn->setGeometry(8, 128, 90, 26);
  M_SaveBtn = new QPushButton("Save", surface);
  M_SaveBtn->setObjectName("M_SaveBtn");
  M_SaveBtn->setGeometry(220, 128, 90, 26);
  for (QWidget* w : {static_cast<QWidget*>(M_DefaultCheckBox), static_cast<QWidget*>(M_PowerCheckBox),
                     static_cast<QWidget*>(M_RefreshBtn), static_cast<QWidget*>(M_SaveBtn)})
    w->setEnabled(false);
  connect(M_RefreshBtn, &QPushButton::clicked, this, Guarded([this] { M_RefreshBtnClick(); }));
  connect(M_SaveBtn, &QPushButton::clicked, this, Guarded([this] { M_SaveBtnClick(); }));
}

void TPresets::BuildChargeDisplay() {
  ChargeProgressBar = new QProgressBar(fHost.ChargeBarParent);
  ChargeProgressBar->setObjectName("ChargeProgressBar");
  ChargeProgressBar->setOrientation(Qt::Vertical);
  ChargeProgressBar->setRange(0, 100);
  ChargeProgressBar->setGeometry(256, 22, 44, 90);
  ChargeProgressBar->hide();
  ChargeLabel = new QLabel(fHost.ChargeLabelParent);
  ChargeLabel->setObjectName("ChargeLabel");
  ChargeLabel->setAlignment(Qt::AlignCenter);
  ChargeLabel->setWordWrap(true);
  ChargeLabel->setGeometry(8, 97, 257, 95);
  ChargeLabel->setStyleSheet("color: white; font-weight: bold;");
  ChargeLabel->hide();
}

QWidget* TPresets::ParametersControl(const char* name) const {
  return fHost.ParametersSurface ? fHost.ParametersSurface->findChild<QWidget*>(name) : nullptr;
}

// ---- Recall and the long press ------------------------------------------------------------

void TPresets::ToolButtonClick(QAbstractButton* Sender) {
  if (std::exchange(fLongPressDone, false)) return;
  const uint32_t tag = Sender->property("Tag").toUInt();
  if (tag >= kPresetCount || !fHost.Connected()) return;
  fHost.Data.MEM = static_cast<uint16_t>(tag);
  // The scheduler serves these in its order: switch, then read the new set values and block.
  fHost.TaskMgr.WriteMemNum();
  fHost.TaskMgr.ReadSetData();
  fHost.TaskMgr.ReadMemory();
  fHost.ToolBar->setEnabled(false);
  EnableParameterControls(false);
}

void TPresets::ToolButtonMouseDown(QAbstractButton* Sender) {
  // Only a press on the active preset stores; any other press is a recall.
  if (Sender->isChecked()) {
    fMemBtnTag = Sender->property("Tag").toInt();
    MemBtnTimer->start();
  } else {
    MemBtnTimer->stop();
  }
}

void TPresets::ToolButtonMouseUp() { MemBtnTimer->stop(); }

void TPresets::MemBtnTimerTimer() {
  MemBtnTimer->stop();
  if (fMemBtnTag > 9) return;
  fLongPressDone = true;
  const uint32_t n = static_cast<uint32_t>(fMemBtnTag);
  const QString text =
      SavePresetPrompt(n, fHost.Data.USET, fHost.Data.ISET, CurrentDivider == 10);
  if (ShowCenteredMessage(fHost.Form, text, TMsgKind::Confirmation,
                          QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
    return;
  // The link may have gone while the question was open.
  if (!fHost.Connected()) return;
  fHost.Memory.USET = fHost.Data.USET;
  fHost.Memory.ISET = fHost.Data.ISET;
  fHost.TaskMgr.WriteMemory();
  fHost.TaskMgr.ReadMemory();
}

// ---- The Profile panel ---------------------------------------------------------------------

void TPresets::M_RefreshBtnClick() { fHost.TaskMgr.ReadMemory(); }

void TPresets::M_SaveBtnClick() {
  TCurrentSet& d = fHost.Data;
  TMemorySet& m = fHost.Memory;
  if (!fHost.Connected() || d.MEM >= kPresetCount) return;
  m.MPRE = DefaultOnStartFlag(fHost.Model.Version, M_DefaultCheckBox->isChecked());
  m.SINI = M_PowerCheckBox->isChecked() ? 1 : 0;
  // The backlight stored with the preset is the one the Parameters panel shows; without that
  // control, the level last read from the supply.
  auto* backlight = qobject_cast<QAbstractSlider*>(ParametersControl("P_BacklightTrackBar"));
  m.BLED_ = backlight ? static_cast<uint32_t>(backlight->value()) : d.BLED;
  fHost.TaskMgr.WriteMemory();
  // The saved preset's set values become the present ones.
  d.USET = m.USET;
  d.ISET = m.ISET;
  fHost.ShowSetValues();
  fHost.ForgetLastSetWrite();
  fHost.TaskMgr.WriteSetData();
  if (fHost.Model.Version == TVersion::ver_43 || fHost.Model.Version == TVersion::ver_New) {
    d.CMD = 2;
    fHost.TaskMgr.WriteCommand();
  }
}

void TPresets::UpdateMemory() {
  const TMemorySet& m = fHost.Memory;
  const int p = CurrentPointPos();
  fEditBoxes[tagUset]->setText(FormatFixed(m.USET, 3));
  fEditBoxes[tagIset]->setText(FormatFixed(m.ISET, p));
  fEditBoxes[tagOvp]->setText(FormatFixed(m.SOVP, 3));
  fEditBoxes[tagOcp]->setText(FormatFixed(m.SOCP, p));
  fEditBoxes[tagOpp]->setText(FormatFixed(m.SOPP, 2));
  fEditBoxes[tagOtp]->setText(FormatMinutes(m.OTIM));
  M_DefaultCheckBox->setChecked((m.MPRE & 1) != 0);
  M_PowerCheckBox->setChecked(m.SINI != 0);
  if (fHost.UpdateParameterFields) fHost.UpdateParameterFields();
  ShowPresetButtons();
  fHost.SetProfileCaption(ProfileCaption(fHost.Data.MEM, fHost.Model.Version));
  EnableParameterControls(true);
}

void TPresets::EnableParameterControls(bool Enable) {
  const uint32_t mem = fHost.Data.MEM;
  const TParameterEnables e = ParameterEnables(Enable, fHost.Model.Version, mem);
  auto enable = [](QWidget* w, bool on) {
    if (w) w->setEnabled(on);
  };
  for (const char* name : {"P_AdvancedBtn", "P_SaveBtn", "P_BacklightTrackBar", "P_ResetCountersCheckBox"})
    enable(ParametersControl(name), e.Common);
  enable(M_RefreshBtn, e.Common);
  enable(M_DefaultCheckBox, e.DefaultFlag);
  enable(ParametersControl("P_OHPEdit"), e.Parameters);
  enable(ParametersControl("P_MaxMemEdit"), e.Parameters);
  enable(fEditBoxes[tagOtp], e.Overtime);
  enable(M_PowerCheckBox, e.PowerFlag);
  for (int tag : {tagUset, tagIset, tagOvp, tagOcp, tagOpp}) enable(fEditBoxes[static_cast<size_t>(tag)], e.Values);
  enable(M_SaveBtn, e.Values);
  // Whatever Enable is, the set-point area follows the preset kind.
  fHost.ShowSetExtras();
  const bool charge = mem >= kMemoryPresets;
  ChargeProgressBar->setVisible(charge);
  ChargeLabel->setVisible(charge);
  if (charge) {
    ChargeLabel->setText(ChargeText(mem));
    ChargeProgressBar->raise();
  }
}

// ---- Buttons and the charge bar --------------------------------------------------------------

void TPresets::ShowPresetButtons() {
  for (size_t i = 0; i < fButtons.size(); ++i) fButtons[i]->setVisible(i < fHost.Data.MMAX);
}

void TPresets::ShowActivePreset() {
  if (fHost.Data.MEM < kPresetCount) fButtons[fHost.Data.MEM]->setChecked(true);
}

void TPresets::EnablePresetButtons(bool e) {
  for (QToolButton* button : fButtons) button->setEnabled(e);
}

void TPresets::ReleasePresetButtons() {
  MemBtnTimer->stop();
  fButtonGroup->setExclusive(false);
  for (QToolButton* button : fButtons) {
    button->setChecked(false);
    button->setEnabled(false);
  }
  fButtonGroup->setExclusive(true);
  // A preset write that failed left the bar disabled: a new connection starts afresh.
  fHost.ToolBar->setEnabled(true);
}

void TPresets::UpdateChargeProgress() {
  if (ChargeProgressBar->isHidden()) return;
  ChargeProgressBar->setValue(ChargePercent(fHost.Data.USET, fHost.Data.UOUT));
}
