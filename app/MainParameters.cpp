// The "Parameters" panel as the window owns it, the profile fields' entry window, and the side
// panels' accordion.
#include <QLabel>

#include "app/CategoryPanel.h"
#include "app/MainUnit.h"
#include "app/ProgramWindows.h"
#include "features/ClickableEdit.h"
#include "features/EditClick.h"
#include "features/Parameters.h"
#include "features/Presets.h"
#include "panel/EnterUnit.h"
#include "panel/EnterUnit2.h"

void TMainForm::CreateParameters() {
  fParameters = std::make_unique<TParameters>(
      ParametersPanel->Surface(),
      TParametersHost{
          gData,
          fModel,
          [this] { return fTaskMgr.get(); },
          [this] { return fConnected; },
          [this] { return fPowerOn; },
          TempLabel,
          [] { return EnterForm.data(); },
          // The profile's texts and these are rewritten together.
          [this] { fPresets->UpdateMemory(); },
          [this](bool visible) { SetCursorButtonsVisible(visible); },
          [this] { P_AdvancedBtnClick(); },
      });
  UpDownCheckBox = fParameters->UpDownCheckBox();
  for (TCategoryPanel* panel : {ScopePanel, ComPortPanel, MemoryPanel, ParametersPanel})
    panel->OnExpand = [this](TCategoryPanel* sender) { CategoryPanelExpand(sender); };
}

void TMainForm::ProfileEditClick(TClickableEdit& Sender) {
  if (!fConnected || fPowerOn || !EnterForm) return;
  EditClick(Sender, *EnterForm, *fPresets->EditIndicator(Sender.Tag()), [this] { fPresets->UpdateMemory(); });
}

void TMainForm::CategoryPanelExpand(TCategoryPanel* Sender) {
  if (EnterForm && EnterForm->isVisible()) EnterForm->hide();
  if (EnterForm2 && EnterForm2->isVisible()) EnterForm2->hide();
  // At most one panel is open.
  for (TCategoryPanel* panel : {ScopePanel, ComPortPanel, MemoryPanel, ParametersPanel})
    if (panel != Sender) panel->SetCollapsed(true);
}
