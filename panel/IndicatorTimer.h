#pragma once
// The cursor flash clock of an indicator. The indicator only starts, stops and listens to it, so
// a test can put a hand-driven clock in its place.

#include <QTimer>

#include <functional>

class TIndicatorTimer {
 public:
  virtual ~TIndicatorTimer() = default;
  // (Re)starts one period of interval milliseconds; OnTimer runs when it has passed.
  virtual void Start(int interval) = 0;
  virtual void Stop() = 0;
  virtual bool Active() const = 0;

  std::function<void()> OnTimer;
};

// The real clock: a single-shot GUI timer.
class TQtIndicatorTimer final : public TIndicatorTimer {
 public:
  TQtIndicatorTimer();
  void Start(int interval) override { fTimer.start(interval); }
  void Stop() override { fTimer.stop(); }
  bool Active() const override { return fTimer.isActive(); }

 private:
  QTimer fTimer;
};
