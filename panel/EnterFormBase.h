#pragma once
// What both pop-up entry windows do: a borderless black window over its caller that borrows the
// caller's indicator, shows the value on its own digits with a flashing cursor and writes every
// accepted digit straight into the caller's variable.

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <array>
#include <functional>
#include <vector>

#include "panel/Indicator.h"

class QLabel;

class TEnterFormBase : public QWidget {
  Q_OBJECT
 public:
  // Attaches the indicator to edit; set the window's position and hint first, show it after.
  void SetIndicator(TIndicator* Value);
  TIndicator* Indicator() const { return fIndicator; }

  // Called when the window loses activation, so the owner can refresh the texts it shows
  // from the variables just edited.
  void SetOnUpdateMemory(std::function<void()> value) { fOnUpdateMemory = std::move(value); }
  // The owner's wheel lock, shared with its own wheel handling: one step per period while it
  // runs. Until one is given the window uses its own.
  void SetMouseWheelTimer(QTimer* timer) { fMouseWheelTimer = timer ? timer : &fOwnWheelTimer; }
  static constexpr int kMouseWheelInterval = 20;

  void FormActivate();
  void FormDeactivate();
  void FormKeyDown(int key);
  void FormKeyPress(QChar key);
  void FormMouseWheelDown(QPoint pos);
  void FormMouseWheelUp(QPoint pos);
  void SegClick(void* Sender);
  void UpDown1Click();
  void CloseOnLeave(void* Sender);

 protected:
  struct TLayout {
    QSize ClientSize;
    std::vector<int> DigitX;  // left to right, the leftmost digit first
    int LabelX;
    int UpDownX;
  };
  TEnterFormBase(QWidget* parent, const QString& name, const TLayout& layout);

  static constexpr int kDigitY = 7;
  static constexpr int kPointY = 29;
  TdsLed* AddPointLed(const QString& name, int x);
  TdsSevenSegmentDisplay* Seg(int position) const { return fSegs[position]; }
  // Shows the dot that belongs to the point position (1 = no point).
  virtual void ShowPoint(uint32_t pointPos) = 0;

  void changeEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  int DigitCount() const { return static_cast<int>(fDigitCount); }
  // Hands the window's digits and button back from an indicator that is no longer edited here.
  void Detach(TIndicator& indicator);
  // The digit under pos, descending through the child controls, if it is one.
  TdsSevenSegmentDisplay* DigitAt(QPoint pos) const;
  bool WheelLocked() const;
  void WheelStep(QPoint pos, bool up);

  TIndicator* fIndicator = nullptr;
  size_t fDigitCount;
  std::array<TdsSevenSegmentDisplay*, 7> fSegs{};
  QLabel* Label1;
  TUpDown* UpDown1;
  QTimer fOwnWheelTimer;
  QPointer<QTimer> fMouseWheelTimer;
  std::function<void()> fOnUpdateMemory;
};
