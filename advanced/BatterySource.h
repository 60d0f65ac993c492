#pragma once
// The "Battery Source" tab: the supply runs from a battery on its input. The user switches the
// mode on, picks the battery's cell count or types the voltages of full and empty, and sees the
// charge level of the input voltage. Only the main window's records change here; the opener
// writes them to the supply when the window closes with "Save".

#include <QObject>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

#include "advanced/DeviceSettingsHost.h"

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QProgressBar;
class QPushButton;
class TIndicator;
class TValuePanel;
class QWidget;

struct TBatteryPreset {
  const char* Item;
  uint32_t MAXS;  // 100 %, 10 mV units
  uint32_t MINS;  // 0 %
};
inline constexpr std::array<TBatteryPreset, 5> kBatteryPresets{{
    {"6 Cells", 2520, 1800},
    {"8 Cells", 3360, 2400},
    {"10 cells", 4200, 3000},
    {"12 Cells", 5040, 3600},
    {"14 Cells", 5880, 4200},
}};

// "25.20 V ", " 4.20 V "; above 9999 "----- V ".
QString FormatBatteryVoltage(uint32_t aValue);
// 0 below MINS, 100 above MAXS, linear between (truncated). A range of zero width is full at
// its voltage.
uint32_t ChargeLevel(uint32_t UIN, uint32_t MINS, uint32_t MAXS);

class TBatterySource : public QObject {
  Q_OBJECT
 public:
  // Builds the tab's controls on aTab. aHost must outlive the tab.
  TBatterySource(QWidget* aTab, const TDeviceSettingsHost& aHost);
  ~TBatterySource() override;

  // "Save" and "Cancel" of the tab.
  std::function<void()> OnSave;
  std::function<void()> OnCancel;

  // The box from the supply's state, then the whole tab.
  void UpdateBattery();
  void BatteryDataChanged(void* Sender);
  void BatteryRadioGroupClick(int aIndex);
  void BatteryCheckBoxClick();
  void BatteryPanelClick(TValuePanel* Sender);

  QCheckBox* BatteryCheckBox() const { return fBatteryCheckBox; }
  QGroupBox* BatteryRadioGroup() const { return fBatteryRadioGroup; }
  // -1 when no preset is selected.
  int BatteryRadioIndex() const;
  TValuePanel* MAXS_Panel() const { return fPanels[0]; }
  TValuePanel* MINS_Panel() const { return fPanels[1]; }
  QGroupBox* BatteryPanel() const { return fBatteryPanel; }
  QProgressBar* ProgressBar1() const { return fProgressBar1; }
  QPushButton* BatterySaveBtn() const { return fBatterySaveBtn; }
  TIndicator& MaxsInd() const { return *fIndicators[0]; }
  TIndicator& MinsInd() const { return *fIndicators[1]; }

 private:
  void Build(QWidget* aTab);
  void SelectPreset(int aIndex);

  TDeviceSettingsHost fHost;
  std::array<std::unique_ptr<TIndicator>, 2> fIndicators;  // MaxsInd, MinsInd
  QCheckBox* fBatteryCheckBox = nullptr;
  QGroupBox* fBatteryRadioGroup = nullptr;
  QButtonGroup* fBatteryButtons = nullptr;
  std::array<TValuePanel*, 2> fPanels{};  // by Tag: MAXS_Panel, MINS_Panel
  QGroupBox* fBatteryPanel = nullptr;
  QProgressBar* fProgressBar1 = nullptr;
  QPushButton* fBatterySaveBtn = nullptr;
};
