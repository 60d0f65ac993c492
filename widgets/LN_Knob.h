#pragma once
// Multi-turn rotary knob. The integer position runs from Min to Max spread over ten turns:
// turning moves it one unit per AngleInterval() degrees, a click steps it, keys and the wheel
// step it, and it stops at both ends of the range.
//
// Angles are whole degrees clockwise on the screen from 3 o'clock (right 0, down 90, left 180,
// up 270).

#include <QColor>
#include <QPixmap>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <functional>

class QLabel;

class TLN_Knob : public QWidget {
  Q_OBJECT
 public:
  enum class TIndicatorType { it_Line, it_Circle };
  using TChangeEvent = std::function<void(TLN_Knob* Sender)>;

  explicit TLN_Knob(QWidget* parent = nullptr);

  // ---- Position model ----
  int32_t Min() const { return fMin; }
  int32_t Max() const { return fMax; }
  int32_t Position() const { return fPosition; }
  // Each setter fires OnChange when the position changed (a new bound may clamp it).
  void SetMin(int32_t value);
  void SetMax(int32_t value);
  void SetPosition(int32_t value);
  // Stores the bounds without re-clamping the position; never fires OnChange.
  void UpdateMinMax(int32_t aMin, int32_t aMax);
  // Moves the knob without firing OnChange; true when the position changed. Values above Max
  // become Max - 1 (Max itself is accepted).
  bool UpdatePosition(int32_t a);
  // One unit, PageSize with Shift, to the end with Ctrl. Fire OnChange on a change.
  void Increment(Qt::KeyboardModifiers shift);
  void Decrement(Qt::KeyboardModifiers shift);

  int32_t PageSize() const { return fPageSize; }
  void SetPageSize(int32_t value) { fPageSize = value; }
  // A spring-loaded knob returns to 0 whenever it loses the focus, and goes there at once.
  bool SpringLoaded() const { return fSpringLoaded; }
  void SetSpringLoaded(bool value);

  // Read-only view of the turn model.
  int32_t Steps() const { return fSteps; }
  double AngleInterval() const { return fAngleInterval; }
  int Angle() const { return fAngle; }
  int Turn() const { return fTurn; }
  static constexpr int fTurnsCount = 10;

  // Lamp state of the indicator; repaints on change.
  bool LedOn() const { return fLedOn; }
  void SetLedOn(bool value);

  // Optional label that shows "<position> <Caption>"; it follows the knob's visibility and
  // enabled state and is forgotten when destroyed.
  QLabel* PositionLabel() const;
  void SetPositionLabel(QLabel* label);
  const QString& Caption() const { return fCaption; }
  void SetCaption(const QString& value);

  TChangeEvent OnChange;

  // ---- Appearance ----
  const QColor& LineColor() const { return fLineColor; }
  void SetLineColor(const QColor& value) { Change(fLineColor, value); }
  double LineLength() const { return fLineLength; }
  void SetLineLength(double value) { Change(fLineLength, value); }
  double LineWidth() const { return fLineWidth; }
  void SetLineWidth(double value) { Change(fLineWidth, value); }
  TIndicatorType IndicatorType() const { return fIndicatorType; }
  void SetIndicatorType(TIndicatorType value) { Change(fIndicatorType, value); }
  bool ShowIndicator() const { return fShowIndicator; }
  void SetShowIndicator(bool value) { Change(fShowIndicator, value); }
  bool DrawBorder() const { return fDrawBorder; }
  void SetDrawBorder(bool value) { Change(fDrawBorder, value); }
  bool RotateImage() const { return fRotateImage; }
  void SetRotateImage(bool value) { Change(fRotateImage, value); }
  bool ShowFocusedState() const { return fShowFocusedState; }
  void SetShowFocusedState(bool value) { Change(fShowFocusedState, value); }
  // Shaded, knurled skirt with a dished cap instead of a flat disc.
  bool Face3D() const { return fFace3D; }
  void SetFace3D(bool value) { Change(fFace3D, value); }
  // Machined (concentric brushed) finish on the cap.
  bool FaceEffect() const { return fFaceEffect; }
  void SetFaceEffect(bool value) { Change(fFaceEffect, value); }
  // Transparent: the parent shows through around the knob; otherwise the window colour.
  bool Transparent() const { return fTransparent; }
  void SetTransparent(bool value) { Change(fTransparent, value); }
  const QColor& Color() const { return fColor; }
  void SetColor(const QColor& value) { Change(fColor, value); }
  // Picture laid on the cap, turned with the knob when RotateImage.
  const QPixmap& KnobImage() const { return fKnobImage; }
  void SetKnobImage(const QPixmap& value);
  const QColor& OnColor() const { return fOnColor; }
  void SetOnColor(const QColor& value) { Change(fOnColor, value); }
  const QColor& OffColor() const { return fOffColor; }
  void SetOffColor(const QColor& value) { Change(fOffColor, value); }
  const QColor& DisabledBorderColor() const { return fDisabledBorderColor; }
  void SetDisabledBorderColor(const QColor& value) { Change(fDisabledBorderColor, value); }
  const QColor& FocusedBorderColor() const { return fFocusedBorderColor; }
  void SetFocusedBorderColor(const QColor& value) { Change(fFocusedBorderColor, value); }
  const QColor& UnfocusedBorderColor() const { return fUnfocusedBorderColor; }
  void SetUnfocusedBorderColor(const QColor& value) { Change(fUnfocusedBorderColor, value); }

  QSize sizeHint() const override { return {95, 95}; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool event(QEvent* event) override;

 private:
  template <typename T>
  void Change(T& field, const T& value) {
    if (field == value) return;
    field = value;
    update();
  }
  void SetParams(int32_t position, int32_t aMin, int32_t aMax);
  int32_t Clamped(int64_t a) const;
  // Turn and angle of the indicator from the position in the present range.
  void PlaceIndicator();
  void UpdateGeometry();
  int PointerAngle(QPoint p) const;
  bool InsideFace(QPoint p) const;
  void Drag(QPoint p);
  void ClickAt(QPoint p, Qt::KeyboardModifiers shift);
  void EndDrag();
  void UpdateLabel();
  const QColor& BorderColor() const;

  // Painting, one layer each (LN_KnobFace.cpp).
  void PaintKnob(QPainter& p) const;
  void PaintShadow(QPainter& p, double radius) const;
  void PaintKnurledSkirt(QPainter& p, double radius) const;
  void PaintPlainSkirt(QPainter& p, double radius) const;
  void PaintCap(QPainter& p, double radius) const;
  void PaintImage(QPainter& p, double radius) const;
  void PaintIndicator(QPainter& p, double radius) const;
  void PaintRing(QPainter& p, double outer, double width) const;

  int32_t fMin = 0;
  int32_t fMax = 5000;
  int32_t fPosition = 0;
  int32_t fPageSize = 10;
  bool fSpringLoaded = false;
  int32_t fSteps = 0;
  double fAngleInterval = 0;
  int fAngle = 0;
  int fTurn = 0;
  bool fMouseDown = false;
  bool fDragging = false;
  int fPrevAngle = 0;
  int fPrevMouseAngle = 0;
  int fCenter = 0;
  int fDiameter = 0;
  int fRadius = 0;
  int fWheelDelta = 0;  // wheel rotation not yet turned into a step
  bool fLedOn = false;
  QPointer<QLabel> fPositionLabel;
  QString fCaption;

  QColor fLineColor;
  double fLineLength = 3;
  double fLineWidth = 2;
  TIndicatorType fIndicatorType = TIndicatorType::it_Line;
  bool fShowIndicator = true;
  bool fDrawBorder = true;
  bool fRotateImage = true;
  bool fShowFocusedState = true;
  bool fFace3D = true;
  bool fFaceEffect = false;
  bool fTransparent = false;
  QColor fColor;
  QPixmap fKnobImage;
  QColor fOnColor{0xFF, 0xFF, 0x00};
  QColor fOffColor{0x80, 0x80, 0x80};
  QColor fDisabledBorderColor{0x7F, 0x7F, 0x7F};
  QColor fFocusedBorderColor{0xDF, 0xDF, 0xDF};
  QColor fUnfocusedBorderColor{0x3F, 0x3F, 0x3F};
};
