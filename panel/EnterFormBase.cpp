#include "panel/EnterFormBase.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPalette>
#include <QWheelEvent>

namespace {
constexpr QSize kDigitSize(17, 25);
constexpr uint32_t kBlank = 10;
}  // namespace

TEnterFormBase::TEnterFormBase(QWidget* parent, const QString& name, const TLayout& layout)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint), fDigitCount(layout.DigitX.size()) {
  setObjectName(name);
  setFixedSize(layout.ClientSize);
  setFocusPolicy(Qt::StrongFocus);
  QPalette dark = palette();
  dark.setColor(QPalette::Window, Qt::black);
  dark.setColor(QPalette::WindowText, Qt::white);
  dark.setColor(QPalette::Button, QColor(0x30, 0x30, 0x30));
  dark.setColor(QPalette::ButtonText, QColor(0xE0, 0xE0, 0xE0));
  setPalette(dark);
  setAutoFillBackground(true);

  for (int i = 0; i < DigitCount(); ++i) {
    const int position = DigitCount() - i;
    auto* seg = new TdsSevenSegmentDisplay(this);
    seg->setObjectName(QString("Seg%1").arg(position));
    seg->SetTag(position);
    seg->setGeometry(QRect(QPoint(layout.DigitX[i], kDigitY), kDigitSize));
    seg->SetBackColor(0x000000);
    seg->SetOnColor(0xFFFFFF);
    seg->SetOffColor(0x202020);
    seg->SetOnClick([this](void* sender) { SegClick(sender); });
    fSegs[position] = seg;
  }

  Label1 = new QLabel(this);
  Label1->setObjectName("Label1");
  QFont font = Label1->font();
  font.setPixelSize(15);
  font.setBold(true);
  Label1->setFont(font);
  Label1->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  Label1->setGeometry(layout.LabelX, 0, layout.UpDownX - layout.LabelX, layout.ClientSize.height());

  UpDown1 = new TUpDown(this);
  UpDown1->setObjectName("UpDown1");
  UpDown1->setGeometry(layout.UpDownX, 0, 39, 40);
  UpDown1->SetOnClick([this](void*, TUDBtnType) { UpDown1Click(); });

  fOwnWheelTimer.setSingleShot(true);
  fOwnWheelTimer.setInterval(kMouseWheelInterval);
  fMouseWheelTimer = &fOwnWheelTimer;
}

TdsLed* TEnterFormBase::AddPointLed(const QString& name, int x) {
  auto* led = new TdsLed(this);
  led->setObjectName(name);
  led->setGeometry(x, kPointY, 3, 3);
  led->SetOnColor(0xFFFFFF);
  led->SetOffColor(0x0000FF);
  led->SetLedOn(true);
  led->hide();
  return led;
}

void TEnterFormBase::Detach(TIndicator& indicator) {
  for (QPointer<TdsSevenSegmentDisplay>& digit : indicator.Digit)
    if (digit && digit->parent() == this) digit = nullptr;
  if (indicator.UpDownCtrl() == UpDown1) indicator.SetUpDownCtrl(nullptr);
  indicator.SetOnLeaveCursor(nullptr);
}

void TEnterFormBase::SetIndicator(TIndicator* Value) {
  if (fIndicator && fIndicator != Value) Detach(*fIndicator);
  fIndicator = Value;
  if (!Value) return;
  Value->SetOnLeaveCursor([this](void* sender) { CloseOnLeave(sender); });
  // Every digit is shown, and the cursor flashes until the window lets it go.
  Value->Smart = false;
  Value->SetAutoStop(false);
  Value->SetUpDownCtrl(UpDown1);
  UpDown1->setEnabled(true);
  for (int position = 1; position <= DigitCount(); ++position)
    Value->Digit[position] = fSegs[position];
  Value->SetEnabled(true);
  Label1->setText(Value->ValueName);
  for (int position = DigitCount(); position > static_cast<int>(Value->DataLen); --position)
    fSegs[position]->SetValue(kBlank);
  ShowPoint(Value->PointPos);
  Value->ClearValue();
}

void TEnterFormBase::FormActivate() {
  if (!fIndicator) return;
  fIndicator->UpdateDigits();
  fIndicator->SetCursorPos(static_cast<uint16_t>(fIndicator->DataLen));
}

void TEnterFormBase::FormDeactivate() {
  if (fIndicator) {
    // The cursor goes without closing the window.
    fIndicator->SetOnLeaveCursor(nullptr);
    fIndicator->SetCursorPos(0);
  }
  if (fOnUpdateMemory) fOnUpdateMemory();
}

void TEnterFormBase::FormKeyDown(int key) {
  if (!fIndicator || fIndicator->CursorPos() == 0) return;
  const uint32_t cursor = fIndicator->CursorPos();
  switch (key) {
    case Qt::Key_Left:
      if (cursor < fIndicator->DataLen) fIndicator->MoveCursorLeft();
      break;
    case Qt::Key_Right:
      if (cursor > 1) fIndicator->MoveCursorRight();
      break;
    case Qt::Key_Up: fIndicator->ValueAtCursorUp(); break;
    case Qt::Key_Down: fIndicator->ValueAtCursorDown(); break;
    default: break;
  }
}

void TEnterFormBase::FormKeyPress(QChar key) {
  if (!fIndicator || fIndicator->CursorPos() == 0) return;
  if (key >= '0' && key <= '9') fIndicator->ValueAtCursor(key.unicode() - '0');
}

bool TEnterFormBase::WheelLocked() const { return fMouseWheelTimer && fMouseWheelTimer->isActive(); }

TdsSevenSegmentDisplay* TEnterFormBase::DigitAt(QPoint pos) const {
  QWidget* child = childAt(pos);
  for (int position = 1; position <= DigitCount(); ++position)
    if (child == fSegs[position]) return fSegs[position];
  return nullptr;
}

void TEnterFormBase::WheelStep(QPoint pos, bool up) {
  if (WheelLocked()) return;
  if (TdsSevenSegmentDisplay* digit = DigitAt(pos); digit && fIndicator) {
    if (up)
      fIndicator->MouseWheelUp(digit);
    else
      fIndicator->MouseWheelDown(digit);
  }
  if (fMouseWheelTimer) fMouseWheelTimer->start();
}

void TEnterFormBase::FormMouseWheelDown(QPoint pos) { WheelStep(pos, false); }

void TEnterFormBase::FormMouseWheelUp(QPoint pos) { WheelStep(pos, true); }

void TEnterFormBase::SegClick(void* Sender) {
  if (!fIndicator) return;
  const int tag = static_cast<TdsGraphicControl*>(Sender)->Tag();
  fIndicator->SetCursorPos(static_cast<uint16_t>(tag));
}

void TEnterFormBase::UpDown1Click() {
  if (fIndicator && fIndicator->CursorPos() == 0) fIndicator->SetCursorPos(2);
}

void TEnterFormBase::CloseOnLeave(void*) { hide(); }

void TEnterFormBase::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() != QEvent::ActivationChange) return;
  if (isActiveWindow())
    FormActivate();
  else
    FormDeactivate();
}

void TEnterFormBase::keyPressEvent(QKeyEvent* event) {
  FormKeyDown(event->key());
  if (const QString text = event->text(); text.size() == 1) FormKeyPress(text[0]);
}

void TEnterFormBase::wheelEvent(QWheelEvent* event) {
  const int delta = event->angleDelta().y();
  const QPoint pos = event->position().toPoint();
  if (delta > 0)
    FormMouseWheelUp(pos);
  else if (delta < 0)
    FormMouseWheelDown(pos);
}
