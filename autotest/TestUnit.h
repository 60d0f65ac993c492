#pragma once
// The auto-test window: a table of voltage, current and duration steps run against the supply.
// "Start" applies the first enabled step, switches the output on and lets Timer1 count the
// steps down, one tick a second; the last step's end switches the output off, and the main
// window then ends the run (EndTest). The window docks to the right edge of the main window.

#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>

#include "autotest/TestHost.h"
#include "autotest/TestRun.h"
#include "autotest/TestSteps.h"

class QProgressBar;
class QPushButton;
class TIndicator;
class TTestGrid;

class TTestForm : public QWidget {
  Q_OBJECT
 public:
  explicit TTestForm(TAutoTestHost host, QWidget* parent = nullptr);
  ~TTestForm() override;

  // Limits of the connected model, copied in by the main window before it opens this window.
  uint32_t MAX_U = 5100;
  uint32_t MAX_I = 2010;
  uint16_t CUR_DIVIDER = 1;
  // The connected model, at every connect and before the window opens: the table's currents
  // are converted to its current unit and its steps held to its maxima, which is said once.
  void SetModelLimits(uint32_t maxU, uint32_t maxI, uint16_t currentDivider);

  TTestSteps& Steps() { return fDataArray; }
  const TTestRun& Run() const { return fRun; }
  bool Running() const { return Timer1.isActive(); }
  bool Pinned() const { return fPinned; }
  void SetPinned(bool value) { fPinned = value; }
  QPushButton* StartBtn() const { return fStartBtn; }

  void FormShow();
  bool FormCloseQuery();
  void FormClose();
  void PinnedMove();
  void UpdateGrid();
  void UpdateRow(int ARow);  // ARow: grid row, 1 = step 0
  void AddBtnClick();
  void DeleteBtnClick();
  void StartBtnClick();
  void SaveBtnClick();
  void Timer1Timer();
  void EndTest();
  void StringGrid1SelectCell(int ACol, int ARow);

  // The system's default sound; tests listen instead.
  void SetBeep(std::function<void()> beep) { fBeep = std::move(beep); }
  // The pause between applying the first step and switching the output on. It serves the
  // program's timers and answers (so the step's set values are written first) but no user
  // input. Tests may shorten it.
  void SetStartWait(std::function<void(uint32_t ms)> wait) { fStartWait = std::move(wait); }
  static constexpr uint32_t kStartWaitMs = 500;

 protected:
  void showEvent(QShowEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void FormCreate();
  void FormActivate();
  void WMMove();
  void ApplyStep(int Index);
  void EnableEditing(bool Enable);
  void IndicatorChanged();
  void StringGrid1ToggleEnabled(int step);
  // The grid's current step row.
  int SelectedStep() const;
  void SelectStep(int step);
  // Moves to bounds given as a frame (window decoration included).
  void SetFrameBounds(const QRect& frame);
  bool MainWindowNormal() const;

  TAutoTestHost fHost;
  TTestSteps fDataArray;
  // The current unit the table's currents are in (CUR_DIVIDER of the model it was last fitted
  // to, kept beside the file); 0 while not known.
  int fTableDivider = 0;
  TTestRun fRun;
  int32_t fLogIntevalCount = 0;
  bool fPinned = true;
  bool fPinnedMoving = false;
  QTimer Timer1;
  std::unique_ptr<TIndicator> fUsetInd, fIsetInd, fTimeInd;
  TTestGrid* StringGrid1 = nullptr;
  QPushButton* fStartBtn = nullptr;
  QPushButton* fDeleteBtn = nullptr;
  QPushButton* fAddBtn = nullptr;
  QPushButton* fSaveBtn = nullptr;
  QProgressBar* ActivityIndicator1 = nullptr;
  std::function<void()> fBeep;
  std::function<void(uint32_t)> fStartWait;
};
