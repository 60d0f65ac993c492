#pragma once
// Common ground of the painted front-panel controls: a tag, the mouse events of a graphic
// control, and the 0x00BBGGRR colour convention of the supply.

#include <QColor>
#include <QWidget>

#include <cstdint>
#include <functional>

using TNotifyEvent = std::function<void(void* Sender)>;
using TMouseEvent = std::function<void(void* Sender, Qt::MouseButton Button,
                                       Qt::KeyboardModifiers Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(void* Sender, Qt::KeyboardModifiers Shift, int X, int Y)>;

// Colours are held as 0x00BBGGRR, red in the low byte.
QColor ColorFromBgr(uint32_t color);

class TdsGraphicControl : public QWidget {
  Q_OBJECT
 public:
  explicit TdsGraphicControl(QWidget* parent);

  int Tag() const { return fTag; }
  void SetTag(int value) { fTag = value; }

  const TNotifyEvent& OnClick() const { return fOnClick; }
  void SetOnClick(TNotifyEvent value) { fOnClick = std::move(value); }
  const TNotifyEvent& OnDblClick() const { return fOnDblClick; }
  void SetOnDblClick(TNotifyEvent value) { fOnDblClick = std::move(value); }
  const TMouseEvent& OnMouseDown() const { return fOnMouseDown; }
  void SetOnMouseDown(TMouseEvent value) { fOnMouseDown = std::move(value); }
  const TMouseMoveEvent& OnMouseMove() const { return fOnMouseMove; }
  void SetOnMouseMove(TMouseMoveEvent value) { fOnMouseMove = std::move(value); }
  const TMouseEvent& OnMouseUp() const { return fOnMouseUp; }
  void SetOnMouseUp(TMouseEvent value) { fOnMouseUp = std::move(value); }

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  // A control without mouse handlers lets the mouse through to the panel behind it.
  bool HandlesMouse() const;

  int fTag = 0;
  bool fPressed = false;
  TNotifyEvent fOnClick, fOnDblClick;
  TMouseEvent fOnMouseDown, fOnMouseUp;
  TMouseMoveEvent fOnMouseMove;
};
