#include "app/MainUnit.h"

#include <QComboBox>

#include "advanced/AdvancedUnit.h"
#include "advanced/ColorBox.h"
#include "app/PortComboBox.h"
#include "app/ProgramWindows.h"
#include "modbus/KRCOMPortConnector.h"

TFirmwareUpdateHost TMainForm::FirmwareUpdateHost() {
  return {[this] { return fConnected; },
          [this] { fTaskMgr->WriteJumpBoot(); },
          [this] { Disconnect(); },
          [this] { return UpdateLinkOf(ComPortComboBox->currentText()); },
          [this] { return fModel.Version; },
          [this] { return fCOMPortConnector->ComPort(); }};
}

bool TMainForm::FirmwareUpdateRunning() const {
  return AdvancedForm && AdvancedForm->FirmwareUpdate().Busy();
}

void TMainForm::P_AdvancedBtnClick() {
  TAdvancedForm* form = AdvancedForm;
  if (!form) return;
  // 1 and 2. The colours, the buttons an earlier update left disabled, and "Open FW File".
  form->UpdateColorBox(form->ColorBox(1), fCLR1);
  form->UpdateColorBox(form->ColorBox(2), fCLR2);
  form->UpdateColorBox(form->ColorBox(3), fCLR3);
  form->FirmwareUpdate().PrepareOpen();
  // 3. Centred on this window.
  form->move(x() + width() / 2 - form->width() / 2, y() + height() / 2 - form->height() / 2);
  // 4. The battery tab, the calibration block and the high-current choice.
  PrepareAdvancedDevice();
  // 5. The presentation page, once.
  if (!fWebBrowserLoaded) {
    form->LoadPresentation(fModel.Version != TVersion::ver_18);
    fWebBrowserLoaded = true;
  }
  // 6. Only "Save" takes the colours over.
  if (form->exec() != QDialog::Accepted) return;
  fCLR1 = SelectedColor(form->ColorBox(1));
  fCLR2 = SelectedColor(form->ColorBox(2));
  fCLR3 = SelectedColor(form->ColorBox(3));
  if (fConnected) {
    if (fPowerOn) fOutColor = gData.CVCC == 1 ? fCLR3 : fCLR2;
    SetDisplayColors(fCLR1, fPowerOn ? fOutColor : fCLR1);
  }
  if (fModel.Version == TVersion::ver_18) return;
  gData.CLR1 = ColorToRgb565(fCLR1);
  gData.CLR2 = ColorToRgb565(fCLR2);
  gData.CLR3 = ColorToRgb565(fCLR3);
  StoreBatterySource();
  fTaskMgr->WriteGlobalData();
}
