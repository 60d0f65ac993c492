#include "app/ProgramWindows.h"

#include "advanced/AdvancedUnit.h"
#include "app/MainUnit.h"
#include "autotest/TestUnit.h"
#include "panel/EnterUnit.h"
#include "panel/EnterUnit2.h"

QPointer<TMainForm> MainForm;
QPointer<TEnterForm2> EnterForm2;
QPointer<TAdvancedForm> AdvancedForm;
QPointer<TTestForm> TestForm;
QPointer<TEnterForm> EnterForm;

TProgramWindows::TProgramWindows() {
  fMain = std::make_unique<TMainForm>();
  MainForm = fMain.get();
  fCreationOrder << MainForm->objectName();
  // The entry windows stay above the main window, which owns them.
  EnterForm2 = new TEnterForm2(fMain.get());
  fCreationOrder << EnterForm2->objectName();
  fAdvanced = std::make_unique<TAdvancedForm>(MainForm->FirmwareUpdateHost(),
                                              MainForm->DeviceSettingsHost());
  AdvancedForm = fAdvanced.get();
  AdvancedForm->OnCloseEntryWindows = [] {
    if (EnterForm && EnterForm->isVisible()) EnterForm->hide();
    if (EnterForm2 && EnterForm2->isVisible()) EnterForm2->hide();
  };
  fCreationOrder << AdvancedForm->objectName();
  fTest = std::make_unique<TTestForm>(MainForm->AutoTestHost());
  TestForm = fTest.get();
  fCreationOrder << TestForm->objectName();
  EnterForm = new TEnterForm(fMain.get());
  fCreationOrder << EnterForm->objectName();
}

TProgramWindows::~TProgramWindows() {
  fTest.reset();
  fAdvanced.reset();
  fMain.reset();
}
