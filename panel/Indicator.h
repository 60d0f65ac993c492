#pragma once
// A number shown and edited on a row of seven-segment digits, as on the supply's own panel:
// fixed-point with leading-zero blanking, hours and minutes, elapsed time and energy counters,
// and digit-by-digit editing under a flashing cursor. The value lives in the owner's record.

#include <QDial>
#include <QPointer>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

#include "panel/IndicatorTimer.h"
#include "panel/UpDown.h"
#include "panel/dsLeds.h"

class TIndicator {
 public:
  TIndicator();
  TIndicator(uint32_t aMinValue, uint32_t aMaxValue, uint32_t aDataLen, uint32_t aPointPos,
             uint32_t* aValuePtr);
  TIndicator(uint32_t aMinValue, uint32_t aMaxValue, uint32_t aDataLen, uint32_t aPointPos,
             uint32_t* aValuePtr, const QString& aValueName);
  ~TIndicator();
  TIndicator(const TIndicator&) = delete;
  TIndicator& operator=(const TIndicator&) = delete;

  // Rendering.
  void UpdateDigits();
  void UpdateTime();
  void UpdateCounter();
  void RefreshCounter();
  void ClearValue() { fValue = kNoValue; }

  // Editing.
  void ValueAtCursor(uint32_t aValue);
  void ValueAtCursorUp();
  void ValueAtCursorDown();
  void ValueIncDec(int32_t aDiff);
  void MoveCursorLeft();
  void MoveCursorRight();
  void LeaveCursor();
  void MouseWheelUp(void* Sender);
  void MouseWheelDown(void* Sender);
  void SetRadioDial(QDial* aValue);

  // Properties.
  bool Enabled() const { return fEnabled; }
  void SetEnabled(bool value);
  uint16_t CursorPos() const { return fCursorPos; }
  void SetCursorPos(uint16_t value);
  const TNotifyEvent& OnChange() const { return fOnChange; }
  void SetOnChange(TNotifyEvent value) { fOnChange = std::move(value); }
  const TNotifyEvent& OnLeaveCursor() const { return fOnLeaveCursor; }
  void SetOnLeaveCursor(TNotifyEvent value) { fOnLeaveCursor = std::move(value); }
  bool AutoStop() const { return fAutoStop; }
  void SetAutoStop(bool value) { fAutoStop = value; }
  TUpDown* UpDownCtrl() const { return fUpDownCtrl; }
  void SetUpDownCtrl(TUpDown* value);
  bool HoursMinutes() const { return fHoursMinutes; }
  void SetHoursMinutes(bool value) { fHoursMinutes = value; }
  uint32_t Color() const { return fColor; }
  void SetColor(uint32_t value);

  // The flash clock and the millisecond tick source can be replaced (tests drive them by hand).
  void SetTimer(std::unique_ptr<TIndicatorTimer> timer);
  TIndicatorTimer& Timer() const { return *fTimer; }
  void SetTickSource(std::function<uint32_t()> ticks) { fTicks = std::move(ticks); }

  // One period of the cursor flash.
  void FlashTick();

  uint32_t MinValue = 0;
  uint32_t MaxValue = 0;
  uint32_t DataLen = 0;
  uint32_t PointPos = 0;
  bool Smart = true;
  uint32_t* ValuePtr = nullptr;
  QString ValueName;
  // Index 1 is the rightmost digit; index 0 is unused so that positions read as on the panel.
  std::array<QPointer<TdsSevenSegmentDisplay>, 7> Digit{};
  std::array<QPointer<TdsLed>, 3> PointLed{};

  static constexpr uint32_t kNoValue = 0xFFFFFFFF;
  static constexpr int kFlashInterval = 300;

 private:
  using TWeights = std::array<uint32_t, 7>;

  uint32_t DigitCount() const;
  const TWeights& EditWeights() const;
  // Shows value over the digits with the given weights; a value too big for them shows bars.
  // Leading zeros above lowestBlank are blanked while Smart and no cursor is shown.
  void Render(uint32_t value, const TWeights& weights, uint32_t lowestBlank);
  void UpdateHoursMinutes();
  void ShowCursorDigit(uint32_t color);
  void SetPointLed(int index, bool visible);
  void UpDownChanging(TUpDownDirection direction);
  void RadioDialChange(int position);
  void AfterEdit();

  // Nothing rendered yet: the first update always draws, whatever the value.
  uint32_t fValue = kNoValue;
  uint16_t fCursorPos = 0;
  bool fFlashOn = false;
  int32_t fFlashCount = 0;
  bool fEnabled = false;
  QPointer<QDial> fRadioDial;
  QMetaObject::Connection fRadioDialLink;
  int32_t fRadioDialPrevPos = 0;
  uint32_t fRadioDialLastTime = 0;
  TNotifyEvent fOnChange;
  TNotifyEvent fOnLeaveCursor;
  bool fAutoStop = true;
  bool fHoursMinutes = false;
  QPointer<TUpDown> fUpDownCtrl;
  uint32_t fColor = 0xFFFFFF;
  uint32_t fFlashColor = 0x808080;
  std::unique_ptr<TIndicatorTimer> fTimer;
  std::function<uint32_t()> fTicks;
  // Handed to bound controls so that a press after this indicator is gone does nothing.
  std::shared_ptr<TIndicator*> fLife;
};

// The one indicator that currently owns a cursor, if any.
extern TIndicator* ActiveIndicator;
