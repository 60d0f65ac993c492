#include "panel/Indicator.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "core/UtilUnit.h"

TIndicator* ActiveIndicator = nullptr;

namespace {

using TWeights = std::array<uint32_t, 7>;
constexpr TWeights kDecimalWeights{1, 10, 100, 1000, 10000, 100000, 1000000};
constexpr TWeights kMinutesWeights{1, 10, 60, 600, 6000, 60000, 600000};
constexpr TWeights kTimeWeights{1, 10, 60, 600, 3600, 36000, 360000};

constexpr uint32_t kBlank = 10;
constexpr uint32_t kBar = 11;
constexpr uint32_t kCounterScale = 100000;  // from here the counter shows thousand-fold units
constexpr int kIdleTicks = 15;               // the cursor goes on the tick after this many
constexpr int kDialCentre = 25;
// A bigger movement, either way, is the dial passing its end, not a turn.
constexpr int kDialWrap = 20;

uint32_t SteadyTicks() {
  using namespace std::chrono;
  return static_cast<uint32_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// Copies the handler first: it may well replace itself (a window closing on the event).
void Fire(const TNotifyEvent& event, void* sender) {
  if (!event) return;
  const TNotifyEvent handler = event;
  handler(sender);
}

}  // namespace

TIndicator::TIndicator()
    : fTimer(std::make_unique<TQtIndicatorTimer>()),
      fTicks(SteadyTicks),
      fLife(std::make_shared<TIndicator*>(this)) {
  fTimer->OnTimer = [this] { FlashTick(); };
}

TIndicator::TIndicator(uint32_t aMinValue, uint32_t aMaxValue, uint32_t aDataLen,
                       uint32_t aPointPos, uint32_t* aValuePtr)
    : TIndicator() {
  MinValue = aMinValue;
  MaxValue = aMaxValue;
  DataLen = aDataLen;
  PointPos = aPointPos;
  ValuePtr = aValuePtr;
}

TIndicator::TIndicator(uint32_t aMinValue, uint32_t aMaxValue, uint32_t aDataLen,
                       uint32_t aPointPos, uint32_t* aValuePtr, const QString& aValueName)
    : TIndicator(aMinValue, aMaxValue, aDataLen, aPointPos, aValuePtr) {
  ValueName = aValueName;
}

TIndicator::~TIndicator() {
  if (ActiveIndicator == this) ActiveIndicator = nullptr;
  QObject::disconnect(fRadioDialLink);
}

void TIndicator::SetTimer(std::unique_ptr<TIndicatorTimer> timer) {
  fTimer = std::move(timer);
  fTimer->OnTimer = [this] { FlashTick(); };
}

uint32_t TIndicator::DigitCount() const { return std::min<uint32_t>(DataLen, 6); }

const TIndicator::TWeights& TIndicator::EditWeights() const {
  return fHoursMinutes ? kMinutesWeights : kDecimalWeights;
}

// ---- Rendering -----------------------------------------------------------------------------

void TIndicator::Render(uint32_t value, const TWeights& weights, uint32_t lowestBlank) {
  const uint32_t count = DigitCount();
  if (count == 0) return;
  const bool overflow = value >= weights[count];
  bool leftBlank = true;
  uint32_t rest = value;
  for (uint32_t i = count; i >= 1; --i) {
    const uint32_t digit = rest / weights[i - 1];
    rest -= digit * weights[i - 1];
    const bool blank = Smart && fCursorPos == 0 && i > lowestBlank && digit == 0 && leftBlank;
    leftBlank = blank;
    if (Digit[i]) Digit[i]->SetValue(overflow ? kBar : blank ? kBlank : digit);
  }
}

void TIndicator::UpdateDigits() {
  if (fHoursMinutes) {
    UpdateHoursMinutes();
    return;
  }
  if (!ValuePtr || *ValuePtr == fValue) return;
  Render(*ValuePtr, kDecimalWeights, PointPos);
  fValue = *ValuePtr;
}

void TIndicator::UpdateHoursMinutes() {
  if (!ValuePtr || *ValuePtr == fValue) return;
  Render(*ValuePtr, kMinutesWeights, PointPos);
  fValue = *ValuePtr;
}

void TIndicator::UpdateTime() {
  if (!ValuePtr || *ValuePtr == fValue) return;
  const uint32_t seconds = *ValuePtr;
  if (seconds < kTimeWeights[DigitCount()]) {
    Render(seconds, kTimeWeights, PointPos);
    SetPointLed(2, seconds > 3600);
    SetPointLed(1, seconds > 60);
  } else {
    // Too long for h:mm:ss: whole hours only.
    Render(seconds / 3600, kDecimalWeights, 1);
    SetPointLed(1, false);
    SetPointLed(2, false);
  }
  fValue = seconds;
  Fire(fOnChange, this);
}

void TIndicator::UpdateCounter() {
  if (!ValuePtr || *ValuePtr == fValue) return;
  const uint32_t count = *ValuePtr;
  if (count < kCounterScale) {
    PointPos = 3;
    SetPointLed(1, false);
    SetPointLed(2, true);
    Render(count, kDecimalWeights, PointPos);
  } else {
    PointPos = 2;
    SetPointLed(1, true);
    SetPointLed(2, false);
    Render(count / 10000, kDecimalWeights, PointPos);
  }
  fValue = count;
  Fire(fOnChange, this);
}

void TIndicator::RefreshCounter() {
  fValue = kNoValue;
  UpdateCounter();
}

void TIndicator::SetPointLed(int index, bool visible) {
  if (PointLed[index]) PointLed[index]->setVisible(visible);
}

// ---- Cursor --------------------------------------------------------------------------------

void TIndicator::SetCursorPos(uint16_t value) {
  if (!fEnabled) return;
  // Only one cursor in the whole program. Removing a cursor takes nothing from the others.
  if (value != 0) {
    if (ActiveIndicator && ActiveIndicator != this) ActiveIndicator->LeaveCursor();
    ActiveIndicator = this;
  } else if (ActiveIndicator == this) {
    ActiveIndicator = nullptr;
  }
  const uint16_t p = value > DigitCount() ? 1 : value;
  if (fCursorPos != 0 && Digit[fCursorPos]) Digit[fCursorPos]->SetOnColor(fColor);
  fCursorPos = p;
  fFlashCount = 0;
  if (p != 0) {
    ShowCursorDigit(fFlashColor);
    fFlashOn = true;
    fTimer->Start(kFlashInterval);
  } else {
    fTimer->Stop();
  }
}

void TIndicator::ShowCursorDigit(uint32_t color) {
  TdsSevenSegmentDisplay* digit = Digit[fCursorPos];
  if (!digit) return;
  digit->SetOnColor(color);
  // The digit being edited is never blank.
  if (digit->Value() == kBlank) digit->SetValue(0);
}

void TIndicator::FlashTick() {
  if (fCursorPos == 0) {
    fTimer->Stop();
    return;
  }
  ++fFlashCount;
  if (fAutoStop && fFlashCount > kIdleTicks) {
    LeaveCursor();
  } else {
    fFlashOn = !fFlashOn;
    ShowCursorDigit(fFlashOn ? fFlashColor : fColor);
  }
  if (fCursorPos != 0)
    fTimer->Start(kFlashInterval);
  else
    fTimer->Stop();
}

void TIndicator::LeaveCursor() {
  if (fCursorPos != 0 && Digit[fCursorPos]) Digit[fCursorPos]->SetOnColor(fColor);
  fFlashOn = false;
  SetCursorPos(0);
  UpdateDigits();
  Fire(fOnLeaveCursor, this);
}

void TIndicator::MoveCursorLeft() { SetCursorPos(fCursorPos + 1); }

void TIndicator::MoveCursorRight() {
  SetCursorPos(fCursorPos == 1 ? DigitCount() : fCursorPos == 0 ? 1 : fCursorPos - 1);
}

// ---- Editing -------------------------------------------------------------------------------

void TIndicator::AfterEdit() {
  if (*ValuePtr != fValue) Fire(fOnChange, this);
  UpdateDigits();
  fFlashCount = 0;
}

void TIndicator::ValueAtCursorUp() {
  if (fCursorPos == 0 || !ValuePtr) return;
  const uint64_t stepped = uint64_t{*ValuePtr} + EditWeights()[fCursorPos - 1];
  if (stepped <= MaxValue) *ValuePtr = static_cast<uint32_t>(stepped);
  AfterEdit();
}

void TIndicator::ValueAtCursorDown() {
  if (fCursorPos == 0 || !ValuePtr) return;
  const uint32_t step = EditWeights()[fCursorPos - 1];
  if (*ValuePtr >= step && *ValuePtr - step >= MinValue) *ValuePtr -= step;
  AfterEdit();
}

void TIndicator::ValueAtCursor(uint32_t aValue) {
  if (fCursorPos == 0 || !ValuePtr || aValue > 9) return;
  // Minutes have no tens digit above 5.
  if (fHoursMinutes && fCursorPos == 2 && aValue >= 6) return;
  const TWeights& weights = EditWeights();
  std::array<uint64_t, 7> digits{};
  uint32_t rest = *ValuePtr;
  for (int i = 6; i >= 0; --i) {
    digits[i] = rest / weights[i];
    rest %= weights[i];
  }
  digits[fCursorPos - 1] = aValue;
  uint64_t combined = 0;
  for (int i = 0; i < 7; ++i) combined += digits[i] * weights[i];
  if (combined >= MinValue && combined <= MaxValue) *ValuePtr = static_cast<uint32_t>(combined);
  AfterEdit();
  if (fCursorPos != 1) SetCursorPos(fCursorPos - 1);
}

void TIndicator::ValueIncDec(int32_t aDiff) {
  if (!ValuePtr) return;
  const uint32_t before = *ValuePtr;
  int64_t changed = int64_t{before} + aDiff;
  changed = std::max<int64_t>(changed, MinValue);
  changed = std::min<int64_t>(changed, MaxValue);
  *ValuePtr = static_cast<uint32_t>(changed);
  if (*ValuePtr != before) Fire(fOnChange, this);
  UpdateDigits();
}

void TIndicator::MouseWheelUp(void* Sender) {
  if (!fEnabled) return;
  for (uint32_t i = 1; i <= DigitCount(); ++i) {
    if (Digit[i] && Digit[i].data() == Sender) {
      SetCursorPos(i);
      ValueAtCursorUp();
      return;
    }
  }
}

void TIndicator::MouseWheelDown(void* Sender) {
  if (!fEnabled) return;
  for (uint32_t i = 1; i <= DigitCount(); ++i) {
    if (Digit[i] && Digit[i].data() == Sender) {
      SetCursorPos(i);
      ValueAtCursorDown();
      return;
    }
  }
}

// ---- Properties and bound controls ---------------------------------------------------------

void TIndicator::SetEnabled(bool value) {
  if (value != fEnabled && fCursorPos != 0) LeaveCursor();
  fEnabled = value;
  const Qt::CursorShape shape = value ? Qt::PointingHandCursor : Qt::ArrowCursor;
  for (const QPointer<TdsSevenSegmentDisplay>& digit : Digit)
    if (digit) digit->setCursor(shape);
  if (fUpDownCtrl) fUpDownCtrl->setCursor(shape);
}

void TIndicator::SetColor(uint32_t value) {
  if (value == fColor) return;
  fColor = value;
  for (const QPointer<TdsSevenSegmentDisplay>& digit : Digit)
    if (digit) digit->SetOnColor(value);
  for (const QPointer<TdsLed>& led : PointLed)
    if (led) led->SetOnColor(value);
  fFlashColor = DarkenColor(value);
}

void TIndicator::SetUpDownCtrl(TUpDown* value) {
  fUpDownCtrl = value;
  if (!value) return;
  // Far from both ends, so the control never runs out of steps.
  value->SetMin(0);
  value->SetMax(65535);
  value->SetPosition(32768);
  value->setCursor(fEnabled ? Qt::PointingHandCursor : Qt::ArrowCursor);
  // A press after this indicator is gone does nothing.
  value->SetOnChangingEx([life = Life()](void*, bool&, int, TUpDownDirection direction) {
    if (const auto self = life.lock()) (*self)->UpDownChanging(direction);
  });
}

void TIndicator::UpDownChanging(TUpDownDirection direction) {
  if (!fEnabled) return;
  // The first press shows where the steps will go.
  if (fCursorPos == 0)
    SetCursorPos(2);
  else if (direction == updUp)
    ValueAtCursorUp();
  else if (direction == updDown)
    ValueAtCursorDown();
}

void TIndicator::SetRadioDial(QDial* aValue) {
  QObject::disconnect(fRadioDialLink);
  fRadioDial = aValue;
  if (!aValue) return;
  aValue->setRange(0, 50);
  aValue->setWrapping(true);
  aValue->setValue(kDialCentre);
  fRadioDialPrevPos = kDialCentre;
  fRadioDialLastTime = fTicks();
  fRadioDialLink = QObject::connect(aValue, &QDial::valueChanged, aValue,
                                    [this](int position) { RadioDialChange(position); });
}

void TIndicator::RadioDialChange(int position) {
  const int movement = position - fRadioDialPrevPos;
  const uint32_t now = fTicks();
  const uint32_t since = now - fRadioDialLastTime;
  fRadioDialPrevPos = position;
  fRadioDialLastTime = now;
  if (std::abs(movement) > kDialWrap) return;
  // Spinning the dial fast takes bigger steps.
  const int32_t step = since < 5 ? 10 : since < 100 ? 5 : 1;
  ValueIncDec(movement > 0 ? step : -step);
  if (fCursorPos != 0) LeaveCursor();
}
