#pragma once
// The painted digits and lamps of the front panel: one seven-segment digit and one round LED.

#include <QPolygon>
#include <QRect>

#include "panel/dsControl.h"

class QPainter;

enum TdsDisplaySegment : uint8_t {
  tsTop = 0,
  tsUpperLeft,
  tsUpperRight,
  tsMiddle,
  tsLowerLeft,
  tsLowerRight,
  tsBottom
};
// Bit n set = segment n lit.
using TdsDisplaySegments = uint8_t;

// Lit segments for a digit code: 0..9, 10 blank, 11 minus, 12 and above "E".
TdsDisplaySegments DigitSegments(uint32_t value);
// The segment's outline on a width x height digit, laid out on a 20 x 38 grid.
QPolygon SegmentPolygon(TdsDisplaySegment segment, int width, int height, int segWidth);

using TMouseWheelEvent = std::function<void(void* Sender, Qt::KeyboardModifiers Shift,
                                            int WheelDelta, QPoint MousePos, bool& Handled)>;
using TMouseWheelUpDownEvent =
    std::function<void(void* Sender, Qt::KeyboardModifiers Shift, QPoint MousePos, bool& Handled)>;

class TdsSevenSegmentDisplay : public TdsGraphicControl {
  Q_OBJECT
 public:
  explicit TdsSevenSegmentDisplay(QWidget* parent = nullptr);

  TdsDisplaySegments Segments() const { return FSegments; }
  void SetSegments(TdsDisplaySegments value);
  int SegmentWidth() const { return FSegWidth; }
  void SetSegmentWidth(int value);
  uint32_t BackColor() const { return FBackColor; }
  void SetBackColor(uint32_t value);
  uint32_t OnColor() const { return FOnColor; }
  void SetOnColor(uint32_t value);
  uint32_t OffColor() const { return FOffColor; }
  void SetOffColor(uint32_t value);
  uint32_t Value() const { return FValue; }
  void SetValue(uint32_t value);

  const TNotifyEvent& OnChange() const { return FOnChange; }
  void SetOnChange(TNotifyEvent value) { FOnChange = std::move(value); }
  const TMouseWheelEvent& OnMouseWheel() const { return fOnMouseWheel; }
  void SetOnMouseWheel(TMouseWheelEvent value) { fOnMouseWheel = std::move(value); }
  const TMouseWheelUpDownEvent& OnMouseWheelDown() const { return fOnMouseWheelDown; }
  void SetOnMouseWheelDown(TMouseWheelUpDownEvent value) { fOnMouseWheelDown = std::move(value); }
  const TMouseWheelUpDownEvent& OnMouseWheelUp() const { return fOnMouseWheelUp; }
  void SetOnMouseWheelUp(TMouseWheelUpDownEvent value) { fOnMouseWheelUp = std::move(value); }

 protected:
  virtual void DoChange();
  void paintEvent(QPaintEvent* event) override;
  // An unhandled wheel goes on to the window, which decides what the wheel does there.
  void wheelEvent(QWheelEvent* event) override;

 private:
  TdsDisplaySegments FSegments = 0;
  int FSegWidth = 4;
  uint32_t FBackColor = 0x808080;
  uint32_t FOnColor = 0x000000;
  uint32_t FOffColor = 0xC0C0C0;
  uint32_t FValue = 0;
  TNotifyEvent FOnChange;
  TMouseWheelEvent fOnMouseWheel;
  TMouseWheelUpDownEvent fOnMouseWheelDown, fOnMouseWheelUp;
};

enum TdsLedShape { ltEllipse, ltRectangle, ltTriangleTop, ltTriangleBottom, ltTriangleLeft, ltTriangleRight };
enum TdsLedStyle { lsStandard, lsOwnerDraw };
enum TdsLedBevel { blNone, blLowered, blRaised, blBorder };

using TOnDrawLed = std::function<void(void* Sender, QRect Rect, QPainter& Canvas)>;

// Where the white gloss of a round lamp is cut: a chord of Bounds from the radial towards Start
// counter-clockwise to the radial towards End.
struct TdsLedHighlight {
  QRect Bounds;
  QPoint Start, End;
};
TdsLedHighlight LedHighlight(int width, int height);

class TdsLed : public TdsGraphicControl {
  Q_OBJECT
 public:
  explicit TdsLed(QWidget* parent = nullptr);

  TdsLedShape Shape() const { return FShape; }
  void SetShape(TdsLedShape value);
  uint32_t OnColor() const { return FOnColor; }
  void SetOnColor(uint32_t value);
  uint32_t OffColor() const { return FOffColor; }
  void SetOffColor(uint32_t value);
  bool LedOn() const { return FLedOn; }
  void SetLedOn(bool value);
  TdsLedStyle Style() const { return FStyle; }
  void SetStyle(TdsLedStyle value);
  TdsLedBevel Bevel() const { return FBevel; }
  void SetBevel(TdsLedBevel value);

  const TNotifyEvent& OnChange() const { return FOnChange; }
  void SetOnChange(TNotifyEvent value) { FOnChange = std::move(value); }
  const TOnDrawLed& OnDrawLed() const { return FOnDrawLed; }
  void SetOnDrawLed(TOnDrawLed value) { FOnDrawLed = std::move(value); }

 protected:
  virtual void DoChange();
  virtual void DoDrawLed(QPainter& canvas);
  void paintEvent(QPaintEvent* event) override;

 private:
  void PaintStandard(QPainter& painter, const QColor& fill) const;

  TdsLedShape FShape = ltEllipse;
  uint32_t FOnColor = 0x00FF00;
  uint32_t FOffColor = 0x0000FF;
  bool FLedOn = false;
  TdsLedStyle FStyle = lsStandard;
  TdsLedBevel FBevel = blNone;
  TNotifyEvent FOnChange;
  TOnDrawLed FOnDrawLed;
};
