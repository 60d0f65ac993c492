// The auto-test window's link to this window: the output switch, the knobs, the log of the run
// and its options, docking, and the end of a run when the output goes off.
#include <QComboBox>
#include <QMoveEvent>
#include <QPushButton>
#include <QRadioButton>

#include "advanced/AdvancedUnit.h"
#include "core/Dialogs.h"
#include "app/MainUnit.h"
#include "app/ProgramWindows.h"
#include "autotest/TestUnit.h"
#include "logging/DataLog.h"
#include "logging/LogOptions.h"
#include "panel/EnterUnit.h"
#include "panel/Indicator.h"
#include "widgets/LN_Knob.h"

namespace {
bool WindowNormal(const QWidget& w) {
  return !(w.windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen));
}
}  // namespace

TAutoTestHost TMainForm::AutoTestHost() {
  TAutoTestHost host;
  host.MainWindow = this;
  host.Connected = [this] { return fConnected; };
  host.PowerOn = [this] { return fPowerOn; };
  host.OnOffBtnClick = [this] { OnOffBtnClick(); };
  // Each knob writes its set value only when its position changes.
  host.SetKnobPositions = [this](uint32_t uset, uint32_t iset) {
    U_Knob->SetPosition(static_cast<int32_t>(uset));
    I_Knob->SetPosition(static_cast<int32_t>(iset));
  };
  host.ClearLogData = [this] { fLogList->ClearLogData(); };
  host.WriteLogData = [this] { fLogList->WriteLogData(gData); };
  host.SetLogging = [this](bool on) { Logging = on; };
  host.LogByTime = [this](int32_t& countdown) {
    const int32_t interval = AdvancedForm ? AdvancedForm->GetLogInterval()
                                          : GetLogInterval(kDefaultLogIntervalIndex);
    fLogList->LogByTime(gData, countdown, interval);
  };
  host.SaveLog = [this](QWidget* owner) { SaveTestLog(owner); };
  host.LogByTimeSelected = [] {
    return !AdvancedForm || AdvancedForm->LogTimeRadioBtn()->isChecked();
  };
  host.LogByEventSelected = [] {
    return AdvancedForm && AdvancedForm->LogEventRadioBtn()->isChecked();
  };
  host.EntryForm = [] { return EnterForm.data(); };
  return host;
}

void TMainForm::TestBtnClick() {
  TTestForm* form = TestForm;
  if (!form) return;
  form->MAX_U = UsetInd->MaxValue;
  form->MAX_I = IsetInd->MaxValue;
  form->CUR_DIVIDER = static_cast<uint16_t>(CurrentDivider);
  form->SetPinned(true);
  form->UpdateGrid();
  if (form->isVisible())
    form->FormShow();
  else
    form->show();
}

void TMainForm::EnableAutoTestStart(bool e) {
  if (!TestForm) return;
  if (e) TestForm->EndTest();
  TestForm->StartBtn()->setEnabled(e);
}

void TMainForm::EndAutoTest() {
  if (TestForm) TestForm->EndTest();
}

bool TMainForm::SaveTestLog(QWidget* owner) {
  const bool excel = AdvancedForm && AdvancedForm->LogExcelRadioBtn()->isChecked();
  return fLogList->SaveLog(owner, excel);
}

bool TMainForm::AutoTestCloseQuery() {
  if (TestForm && TestForm->Running() && !TestForm->FormCloseQuery()) return false;
  if (!fLogList->HasUnsavedEntries()) return true;
  // Closing empties the log: entries not saved yet would be lost without a word.
  switch (ShowCenteredMessage(this,
                              "The test log holds entries that were not saved.\n"
                              "Save them before closing?",
                              TMsgKind::Confirmation,
                              QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel)) {
    case QMessageBox::Yes: return SaveTestLog(this);
    case QMessageBox::No:
      fLogList->DiscardLogData();
      return true;
    default: return false;
  }
}

void TMainForm::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  TTestForm* form = TestForm;
  if (form && form->isVisible() && form->Pinned() && WindowNormal(*this) && WindowNormal(*form))
    form->PinnedMove();
}
