// Set values and the output switch: edits reach the supply only through the scheduler, and
// editing follows the output state.
#include <QPushButton>

#include "app/CategoryPanel.h"
#include "app/MainUnit.h"
#include "panel/Indicator.h"

void TMainForm::ShowSetValues() {
  fPrevUset = gData.USET;
  fPrevIset = gData.ISET;
  UsetInd->UpdateDigits();
  IsetInd->UpdateDigits();
  ShowSetPower(gData.USET, gData.ISET);
}

void TMainForm::SetValueChanged() {
  if (fConnected && gData.LOCK == 1) fTaskMgr->WriteSetData();
  ShowSetPower(gData.USET, gData.ISET);
}

void TMainForm::UsetIndChange() { SetValueChanged(); }
void TMainForm::IsetIndChange() { SetValueChanged(); }

void TMainForm::SetKnobsEnabled(bool on) { UnlockSetBtn->setText(on ? "Lock SET" : "Unlock SET"); }

void TMainForm::EnableSetControls(bool e) {
  SetKnobsEnabled(e);
  UsetInd->SetEnabled(e && gData.MEM < 10);
  IsetInd->SetEnabled(e);
  UnlockSetBtn->setEnabled(!e);
  if (e) {
    SetDisplayColors(fCLR1, fCLR1);
    OnOffBtn->setText("OFF");
  } else {
    SetDisplayColors(fCLR1, fCLR2);
    OnOffBtn->setText("ON");
    AHInd->RefreshCounter();
    WHInd->RefreshCounter();
  }
}

void TMainForm::OnOffBtnClick() {
  if (!fConnected || gData.LOCK != 1) return;
  fPowerOn = !fPowerOn;
  if (!fModel.RCNT) {
    fCounters.Continue(Now());
  } else if (fPowerOn) {
    ResetCounters();
    RefreshCounterReadouts();
  }
  fTaskMgr->WriteOnOff();
  SetConnectedState(fConnected, fPowerOn);
}
