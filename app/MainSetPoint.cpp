// Set values and the output switch: edits reach the supply only through the scheduler, and
// editing follows the output state.
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QWheelEvent>

#include "app/CategoryPanel.h"
#include "core/ErrorReport.h"
#include "app/FocusedPanel.h"
#include "app/MainUnit.h"
#include "features/Presets.h"
#include "panel/Indicator.h"
#include "panel/UpDown.h"
#include "widgets/LN_Knob.h"

namespace {
constexpr int kWheelLockMs = 20;

// Colours in the supply's 0x00BBGGRR order.
QColor Bgr(uint32_t c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

TLN_Knob* AddKnob(QWidget* parent, const QString& name, QRect geometry, int32_t max) {
  auto* knob = new TLN_Knob(parent);
  knob->setObjectName(name);
  knob->setGeometry(geometry);
  knob->UpdateMinMax(name == "U_Knob" ? 10 : 1, max);
  knob->UpdatePosition(name == "U_Knob" ? 10 : 1);
  knob->SetIndicatorType(TLN_Knob::TIndicatorType::it_Circle);
  knob->SetLineColor(Qt::red);
  knob->SetLineLength(12);
  knob->SetLineWidth(2);
  knob->SetColor(Qt::gray);
  knob->SetTransparent(true);
  knob->SetFace3D(true);
  knob->SetOnColor(Bgr(886527));
  knob->SetOffColor(Qt::gray);
  knob->SetDisabledBorderColor(Bgr(4144959));
  knob->SetFocusedBorderColor(Bgr(24767));
  knob->SetUnfocusedBorderColor(Bgr(14510));
  knob->setCursor(Qt::PointingHandCursor);
  knob->setEnabled(false);
  return knob;
}

TUpDown* AddUpDown(QWidget* parent, const QString& name, QRect geometry, TUDOrientation o) {
  auto* upDown = new TUpDown(parent);
  upDown->setObjectName(name);
  upDown->setGeometry(geometry);
  upDown->SetOrientation(o);
  return upDown;
}
}  // namespace

void TMainForm::BuildSetControls() {
  // The widest ranges until a model is known; SetupModel narrows them at every connect.
  U_Knob = AddKnob(SetPanel, "U_Knob", {70, 97, 95, 95}, ModelUmax);
  I_Knob = AddKnob(SetPanel, "I_Knob", {334, 94, 98, 98}, ModelImax);
  U_Knob->OnChange = Guarded([this](TLN_Knob*) { U_KnobChange(); });
  I_Knob->OnChange = Guarded([this](TLN_Knob*) { I_KnobChange(); });

  UpDown1 = AddUpDown(SetPanel, "UpDown1", {14, 100, 22, 40}, udVertical);
  CursorUpDown1 = AddUpDown(SetPanel, "CursorUpDown1", {8, 146, 40, 20}, udHorizontal);
  // The current side mirrors the voltage side at the panel's right edge, clear of the title
  // and the temperature text between the knobs.
  UpDown2 = AddUpDown(SetPanel, "UpDown2", {503, 100, 22, 40}, udVertical);
  CursorUpDown2 = AddUpDown(SetPanel, "CursorUpDown2", {491, 146, 40, 20}, udHorizontal);
  CursorUpDown1->SetOnChangingEx(
      Guarded([this](void*, bool&, int, TUpDownDirection d) { CursorUpDownChangingEx(*UsetInd, d); }));
  CursorUpDown2->SetOnChangingEx(
      Guarded([this](void*, bool&, int, TUpDownDirection d) { CursorUpDownChangingEx(*IsetInd, d); }));
  UsetInd->SetUpDownCtrl(UpDown1);
  IsetInd->SetUpDownCtrl(UpDown2);

  UsetPanel->OnClick = Guarded([this] { SetPanelClick(*UsetInd, UsetPanel); });
  IsetPanel->OnClick = Guarded([this] { SetPanelClick(*IsetInd, IsetPanel); });
  UsetPanel->OnKeyDown = Guarded([this](int key) { SetPanelKeyDown(*UsetInd, key); });
  IsetPanel->OnKeyDown = Guarded([this](int key) { SetPanelKeyDown(*IsetInd, key); });
  UsetPanel->OnKeyPress = Guarded([this](QChar key) { SetPanelKeyPress(*UsetInd, key); });
  IsetPanel->OnKeyPress = Guarded([this](QChar key) { SetPanelKeyPress(*IsetInd, key); });
  for (auto* row : {&SegUset, &SegIset})
    for (TdsSevenSegmentDisplay* digit : *row)
      digit->SetOnClick(Guarded([this, digit](void*) { SegmentClick(digit); }));

  connect(UnlockSetBtn, &QPushButton::clicked, this, Guarded([this] { UnlockSetBtnClick(); }));
  MouseWheelTimer.setSingleShot(true);
  MouseWheelTimer.setInterval(kWheelLockMs);
  SetOnOffImage(2);  // the switch is unavailable until connected
}

void TMainForm::ShowSetValues() {
  fPrevUset = gData.USET;
  fPrevIset = gData.ISET;
  U_Knob->UpdatePosition(static_cast<int32_t>(gData.USET));
  I_Knob->UpdatePosition(static_cast<int32_t>(gData.ISET));
  UsetInd->UpdateDigits();
  IsetInd->UpdateDigits();
  ShowSetPower(gData.USET, gData.ISET);
}

void TMainForm::SetValueChanged() {
  if (fConnected && gData.LOCK == 1) fTaskMgr->WriteSetData();
  ShowSetPower(gData.USET, gData.ISET);
}

void TMainForm::UsetIndChange() {
  U_Knob->UpdatePosition(static_cast<int32_t>(gData.USET));
  SetValueChanged();
}

void TMainForm::IsetIndChange() {
  I_Knob->UpdatePosition(static_cast<int32_t>(gData.ISET));
  SetValueChanged();
}

void TMainForm::U_KnobChange() {
  if (UsetInd->CursorPos() != 0) UsetInd->LeaveCursor();
  if (IsetInd->CursorPos() != 0) IsetInd->LeaveCursor();
  gData.USET = static_cast<uint32_t>(U_Knob->Position());
  UsetInd->UpdateDigits();
  SetValueChanged();
}

void TMainForm::I_KnobChange() {
  if (UsetInd->CursorPos() != 0) UsetInd->LeaveCursor();
  if (IsetInd->CursorPos() != 0) IsetInd->LeaveCursor();
  gData.ISET = static_cast<uint32_t>(I_Knob->Position());
  IsetInd->UpdateDigits();
  SetValueChanged();
}

// ---- Input methods of the set indicators -----------------------------------------------------

void TMainForm::SetPanelClick(TIndicator& ind, QWidget* panel) {
  if (!ind.Enabled()) return;
  if (ind.CursorPos() == 0) ind.SetCursorPos(static_cast<uint16_t>(ind.DataLen));
  panel->setFocus(Qt::MouseFocusReason);
}

void TMainForm::SegmentClick(TdsSevenSegmentDisplay* digit) {
  const bool voltage = std::find(SegUset.begin(), SegUset.end(), digit) != SegUset.end();
  TIndicator& ind = voltage ? *UsetInd : *IsetInd;
  if (!ind.Enabled()) return;
  ind.SetCursorPos(static_cast<uint16_t>(digit->Tag()));
  (voltage ? UsetPanel : IsetPanel)->setFocus(Qt::MouseFocusReason);
}

void TMainForm::SetPanelKeyDown(TIndicator& ind, int key) {
  if (!ind.Enabled() || ind.CursorPos() == 0) return;
  switch (key) {
    case Qt::Key_Left:
      if (ind.CursorPos() < ind.DataLen) ind.SetCursorPos(ind.CursorPos() + 1);
      break;
    case Qt::Key_Right:
      if (ind.CursorPos() > 1) ind.SetCursorPos(ind.CursorPos() - 1);
      break;
    case Qt::Key_Up: ind.ValueAtCursorUp(); break;
    case Qt::Key_Down: ind.ValueAtCursorDown(); break;
    default: break;
  }
}

void TMainForm::SetPanelKeyPress(TIndicator& ind, QChar key) {
  if (!ind.Enabled() || ind.CursorPos() == 0 || !key.isDigit()) return;
  ind.ValueAtCursor(static_cast<uint32_t>(key.digitValue()));
}

void TMainForm::CursorUpDownChangingEx(TIndicator& ind, TUpDownDirection direction) {
  if (!ind.Enabled()) return;
  if (ind.CursorPos() == 0) {
    ind.SetCursorPos(2);
    return;
  }
  if (direction == updUp)
    ind.MoveCursorRight();
  else if (direction == updDown)
    ind.MoveCursorLeft();
}

// The innermost control under the pointer: childAt descends through the children itself.
QWidget* TMainForm::FindControlAtPoint(QPoint globalPos) const {
  QWidget* child = childAt(mapFromGlobal(globalPos));
  return child ? child : const_cast<TMainForm*>(this);
}

void TMainForm::FormMouseWheel(bool up, QPoint globalPos) {
  if (MouseWheelTimer.isActive()) return;
  QWidget* control = FindControlAtPoint(globalPos);
  for (auto [row, ind] : {std::pair{&SegUset, UsetInd.get()}, std::pair{&SegIset, IsetInd.get()}}) {
    const auto it = std::find(row->begin(), row->end(), control);
    if (it == row->end()) continue;
    if (up)
      ind->MouseWheelUp(*it);
    else
      ind->MouseWheelDown(*it);
  }
  MouseWheelTimer.start();
}

void TMainForm::wheelEvent(QWheelEvent* event) {
  const int delta = event->angleDelta().y();
  if (delta != 0) Guarded([&] { FormMouseWheel(delta > 0, event->globalPosition().toPoint()); })();
  event->accept();
}

// ---- Cursor buttons, knobs and the output switch ----------------------------------------------

void TMainForm::SetCursorButtonsVisible(bool v) {
  fCursorButtonsVisible = v;
  UpDown1->setVisible(v && gData.MEM < 10);
  UpDown2->setVisible(v);
  CursorUpDown1->setVisible(UpDown1->isVisibleTo(SetPanel));
  CursorUpDown2->setVisible(v);
  UpDownCheckBox->setChecked(v);
}

void TMainForm::EnableUpDowns(bool e) {
  for (TUpDown* upDown : {UpDown1, UpDown2, CursorUpDown1, CursorUpDown2}) upDown->setEnabled(e);
}

void TMainForm::SetKnobsEnabled(bool on) {
  for (TLN_Knob* knob : {U_Knob, I_Knob}) {
    knob->setEnabled(on);
    knob->SetLedOn(on);
  }
  UnlockSetBtn->setText(on ? "Lock SET" : "Unlock SET");
}

void TMainForm::UnlockSetBtnClick() { SetKnobsEnabled(!U_Knob->isEnabled()); }

void TMainForm::EnableSetControls(bool e) {
  SetKnobsEnabled(e);
  EnableUpDowns(e);
  UsetInd->SetEnabled(e && gData.MEM < 10);
  IsetInd->SetEnabled(e);
  UnlockSetBtn->setEnabled(!e);
  EnableAutoTestStart(e);
  fPresets->EnableParameterControls(e);
  const Qt::CursorShape pointer = e ? Qt::PointingHandCursor : Qt::ArrowCursor;
  for (TUpDown* upDown : {UpDown1, UpDown2, CursorUpDown1, CursorUpDown2}) upDown->setCursor(pointer);
  if (e) {
    SetDisplayColors(fCLR1, fCLR1);
    SetOnOffImage(1);
  } else {
    SetDisplayColors(fCLR1, fCLR2);
    SetOnOffImage(2);
    AHInd->RefreshCounter();
    WHInd->RefreshCounter();
  }
  fPresets->EnablePresetButtons(e);
}

// The set-point extras follow the preset kind: battery presets fix the voltage.
void TMainForm::ShowPresetKindControls() {
  U_Knob->setVisible(gData.MEM < 10);
  UpDown1->setVisible(gData.MEM < 10 && UpDownCheckBox->isChecked());
  CursorUpDown1->setVisible(UpDown1->isVisibleTo(SetPanel));
  UsetInd->SetEnabled(!fPowerOn && gData.MEM < 10);
}

// Image 1 invites switching the output on; image 2 shows it on (or the switch unavailable).
void TMainForm::SetOnOffImage(int index) {
  QPixmap image(OnOffBtn->size() - QSize(8, 8));
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const QColor glow = index == 1 ? QColor(0x30, 0xD0, 0x40) : QColor(0xFF, 0x40, 0x30);
  const QRectF ring(8, (image.height() - 28) / 2.0, 28, 28);
  p.setPen(QPen(glow, 3, Qt::SolidLine, Qt::RoundCap));
  p.drawArc(ring, 120 * 16, 300 * 16);
  p.drawLine(QPointF(ring.center().x(), ring.top() - 2), QPointF(ring.center().x(), ring.center().y()));
  QFont font = p.font();
  font.setPointSize(14);
  font.setBold(true);
  p.setFont(font);
  p.drawText(QRectF(44, 0, image.width() - 48, image.height()), Qt::AlignCenter,
             index == 1 ? "ON" : "OFF");
  p.end();
  OnOffBtn->setIcon(QIcon(image));
  OnOffBtn->setIconSize(image.size());
  OnOffBtn->setText(QString());
  fOnOffImage = index;
}

void TMainForm::OnOffBtnClick() {
  if (!fConnected || gData.LOCK != 1) return;
  // The user's own switching takes over from a pending switch-off after a lost test.
  fSafeOffPending = false;
  fInterruptedTest.reset();
  fOnOffWritePending = true;
  fTaskMgr->WriteOnOff();
  ApplyOutputState(!fPowerOn);
}

void TMainForm::ApplyOutputState(bool on) {
  fPowerOn = on;
  if (!fModel.RCNT) {
    fCounters.Continue(Now());
  } else if (fPowerOn) {
    ResetCounters();
    RefreshCounterReadouts();
  }
  SetConnectedState(fConnected, fPowerOn);
}
