#pragma once
// A pair of arrow buttons that steps an integer position, like the system's up-down control:
// each press (and each repeat while held) first asks OnChangingEx, then moves, then OnClick.

#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <functional>

enum TUDBtnType { btNext, btPrev };
enum TUpDownDirection { updNone, updUp, updDown };
enum TUDOrientation { udHorizontal, udVertical };

using TUDClickEvent = std::function<void(void* Sender, TUDBtnType Button)>;
using TUDChangingEvent = std::function<void(void* Sender, bool& AllowChange, int NewValue,
                                            TUpDownDirection Direction)>;

class TUpDown : public QWidget {
  Q_OBJECT
 public:
  explicit TUpDown(QWidget* parent = nullptr);

  int Min() const { return fMin; }
  void SetMin(int value) { fMin = value; }
  int Max() const { return fMax; }
  void SetMax(int value) { fMax = value; }
  int Position() const { return fPosition; }
  void SetPosition(int value) { fPosition = std::clamp(value, fMin, fMax); }
  int Increment() const { return fIncrement; }
  void SetIncrement(int value) { fIncrement = value; }
  TUDOrientation Orientation() const { return fOrientation; }
  void SetOrientation(TUDOrientation value);

  const TUDChangingEvent& OnChangingEx() const { return fOnChangingEx; }
  void SetOnChangingEx(TUDChangingEvent value) { fOnChangingEx = std::move(value); }
  const TUDClickEvent& OnClick() const { return fOnClick; }
  void SetOnClick(TUDClickEvent value) { fOnClick = std::move(value); }

  // One press of a button, as the mouse gives it.
  void Press(TUDBtnType button);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  TUDBtnType ButtonAt(QPoint p) const;
  QRect ButtonRect(TUDBtnType button) const;
  void Repeat();

  int fMin = 0;
  int fMax = 100;
  int fPosition = 0;
  int fIncrement = 1;
  TUDOrientation fOrientation = udVertical;
  bool fHeld = false;
  TUDBtnType fHeldButton = btNext;
  QTimer fRepeatTimer;
  TUDChangingEvent fOnChangingEx;
  TUDClickEvent fOnClick;
};
