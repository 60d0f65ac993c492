// The auto-test window's link to this window: the output switch, the knobs, the log of the run
// and its options, docking, the end of a run when the output goes off, and the switch-off of a
// run that a lost connection stopped.
#include <QCheckBox>
#include <QComboBox>
#include <QMoveEvent>
#include <QPushButton>
#include <QRadioButton>

#include "advanced/AdvancedUnit.h"
#include "core/Dialogs.h"
#include "core/ErrorReport.h"
#include "core/RegisterMap.h"
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
  form->SetModelLimits(UsetInd->MaxValue, IsetInd->MaxValue, static_cast<uint16_t>(CurrentDivider));
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

// ---- A test that the link's end stopped ------------------------------------------------------

void TMainForm::NoteInterruptedTest() {
  if (TestForm && TestForm->Running())
    fInterruptedTest = TInterruptedTest{TestForm->Run().TestStep() + 1, LinkName()};
}

void TMainForm::SwitchOffAfterLostTest() {
  if (!fInterruptedTest || fInterruptedTest->Link != LinkName()) return;
  const int step = fInterruptedTest->Step;
  if (gData.ONOFF == 0) {
    fInterruptedTest.reset();
    ReportInterruptedTest(step, "the output was off");
    return;
  }
  if (AdvancedForm && AdvancedForm->LeaveOutputCheckBox()->isChecked()) {
    fInterruptedTest.reset();
    ReportInterruptedTest(step, "output left on");
    return;
  }
  // The first write the supply gets: nothing else may run at the step's values meanwhile.
  fSafeOffPending = true;
  gData.ONOFF = 0;
  ModbusLedOn();
  WriteRegister(Reg::ONOFF, 0, [this](int32_t e) {
    ShowModbusResult(e);
    SafeOffWritten(e);
  });
}

// A write that failed is raised again by the polling, which still sees the output on.
void TMainForm::SafeOffWritten(int32_t AError) {
  if (AError != 0 || !fSafeOffPending || !fInterruptedTest) return;
  fSafeOffPending = false;
  const int step = fInterruptedTest->Step;
  fInterruptedTest.reset();
  ReportInterruptedTest(step, "output switched off");
}

void TMainForm::ReportInterruptedTest(int step, const QString& outcome) {
  const QString text =
      QString("Auto test stopped at step %1: connection lost; %2").arg(step).arg(outcome);
  // Said after the answer handler has returned: the box waits without holding the link up.
  QMetaObject::invokeMethod(
      this, Guarded([this, text] { ShowCenteredMessage(this, text, TMsgKind::Information); }),
      Qt::QueuedConnection);
}
