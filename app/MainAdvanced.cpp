#include "app/MainUnit.h"

#include <QComboBox>
#include <QPushButton>
#include <QTabWidget>

#include "advanced/AdvancedUnit.h"
#include "advanced/ColorBox.h"
#include "app/PortComboBox.h"
#include "app/ProgramWindows.h"
#include "host/PortDiscovery.h"
#include "modbus/KRCOMPortConnector.h"

TFirmwareUpdateHost TMainForm::FirmwareUpdateHost() {
  return {[this] { return fConnected; },
          [this] { fTaskMgr->WriteJumpBoot(); },
          [this] { Disconnect(); },
          [this] { return UpdateLinkOf(ComPortComboBox->currentText()); },
          // Disconnected, the supply on the port can only be one waiting in its bootloader: no
          // firmware class of an earlier connection holds the update back.
          [this] { return fConnected ? fModel.Version : TVersion::ver_New; },
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

void TMainForm::EnableUpdateFirmwareBtn() {
  UpdateFirmwareBtn->setEnabled(!fConnected &&
                                UpdateLinkOf(ComPortComboBox->currentText()) == TUpdateLink::Serial);
}

void TMainForm::UpdateFirmwareBtnClick() {
  TAdvancedForm* form = AdvancedForm;
  if (!form || fConnected || FirmwareUpdateRunning()) return;
  // The update talks to the bootloader on the port chosen in the list.
  fCOMPortConnector->SetPort(PortNameOf(ComPortComboBox->currentText()));
  form->FirmwareUpdate().PrepareOpen();
  form->move(x() + width() / 2 - form->width() / 2, y() + height() / 2 - form->height() / 2);
  // Only the update tab: the others need a connected supply. Their visibility comes back after.
  auto* tabs = form->findChild<QTabWidget*>("PageControl1");
  std::vector<bool> shown;
  for (int i = 0; tabs && i < tabs->count(); ++i) {
    shown.push_back(tabs->isTabVisible(i));
    tabs->setTabVisible(i, tabs->widget(i) == form->ColorTab());
  }
  if (tabs) tabs->setCurrentWidget(form->ColorTab());
  form->exec();  // nothing to take over: the colours belong to a connected supply
  for (int i = 0; tabs && i < tabs->count() && i < int(shown.size()); ++i)
    tabs->setTabVisible(i, shown[size_t(i)]);
}
