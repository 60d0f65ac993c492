#pragma once
// "Please WAIT": shown after the output-voltage-high calibration point while the supply brings
// its output back down. It closes itself after 30 one-second ticks, or as soon as the output
// voltage has fallen by more than 1.00 V from where it was when the window was created.

#include <QDialog>

#include <cstdint>

class QLabel;
class QProgressBar;
class QTimer;

class TWaitForm : public QDialog {
  Q_OBJECT
 public:
  // aUout is the main window's output voltage reading (10 mV units), read again on every tick.
  TWaitForm(const uint32_t& aUout, QWidget* aOwner);

  static constexpr int kTicks = 30;
  static constexpr int kTickInterval = 1000;
  // 1.00 V in the reading's units.
  static constexpr uint32_t kFall = 100;

  void Timer1Timer();

  QLabel* Label1() const { return fLabel1; }
  QProgressBar* ProgressBar1() const { return fProgressBar1; }
  QTimer* Timer1() const { return fTimer1; }
  uint16_t Uout() const { return fUout; }

 protected:
  void showEvent(QShowEvent* aEvent) override;

 private:
  const uint32_t& fReading;
  uint16_t fUout;
  QLabel* fLabel1;
  QProgressBar* fProgressBar1;
  QTimer* fTimer1;
};
