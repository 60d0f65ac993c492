#pragma once
// The "Parameters" panel: the supply's device-wide settings (temperature unit, backlight,
// over-heat limit, number of presets, counter reset) and the program's cursor-button option.
// Values are edited in the pop-up entry window and reach the supply only on "Save".

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>

#include "core/UtilUnit.h"

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class TClickableEdit;
class QPushButton;
class QSlider;
class QWidget;
class TEnterForm;
class TIndicator;
class TLN_TaskMgr;

// Whole degrees, rounded to the nearest degree both ways so that a limit converted to the
// other unit and back is the limit it was.
uint32_t CelsiusToFahrenheit(uint32_t celsius);
uint32_t FahrenheitToCelsius(uint32_t fahrenheit);  // 0 below the freezing point

// What the panel uses of the window that owns it.
struct TParametersHost {
  TCurrentSet& gData;
  TModel& fModel;
  std::function<TLN_TaskMgr*()> TaskMgr;  // null once the scheduler is released
  std::function<bool()> Connected;
  std::function<bool()> PowerOn;
  QLabel* TempLabel;                        // the temperature text of the set-point area
  std::function<TEnterForm*()> EnterForm;   // the four-digit entry window, if created
  std::function<void()> UpdateMemory;       // rewrites the edit texts after an entry
  std::function<void(bool)> SetCursorButtonsVisible;
  std::function<void()> ShowAdvancedForm;
};

class TParameters : public QObject {
  Q_OBJECT
 public:
  // Builds the controls on surface (the panel's area below its header, about 320 x 190).
  TParameters(QWidget* surface, TParametersHost host);
  ~TParameters() override;

  // Entries 6 and 7 of the edit indicators: the over-heat limit in the shown unit, the number
  // of presets.
  static constexpr int kOHPTag = 6, kMaxMemTag = 7;
  TIndicator& Edit(int tag) const;

  // The temperature text and the over-heat limit in the unit fModel.CF selects.
  void Set_CF_RadioGroup();
  // fOHP and its unit letter from gData.OHP.
  void UpdateOHPUnit();
  // The panel's part of rewriting the profile and parameter texts after an entry: the edited
  // limit back to degrees Celsius, then both edit texts.
  void UpdateParameterTexts();

  // Identification: before the firmware is known, and once the global block has been read.
  void SetupModel();
  void DetectVersion();
  // The device's backlight level, whenever it is read.
  void SetBacklightPosition(uint32_t bled);
  bool ResetCountersChecked() const;
  void SetResetCountersChecked(bool checked);
  QCheckBox* UpDownCheckBox() const { return fUpDownCheckBox; }

  uint32_t OHP() const { return fOHP; }

 private:
  void BuildControls(QWidget* surface);
  void EditClick(TClickableEdit& Sender);
  void P_SaveBtnClick();
  void P_ResetCountersCheckBoxClick();
  void UpDownCheckBoxClick();
  void P_AdvancedBtnClick();
  void ShowOHP();
  bool Fahrenheit() const;

  TParametersHost fHost;
  uint32_t fOHP = 0;  // the over-heat limit in the unit shown
  std::unique_ptr<TIndicator> fOHPInd;
  std::unique_ptr<TIndicator> fMaxMemInd;

  QGroupBox* CF_RadioGroup = nullptr;
  QButtonGroup* fCFButtons = nullptr;
  QSlider* P_BacklightTrackBar = nullptr;
  TClickableEdit* P_OHPEdit = nullptr;
  TClickableEdit* P_MaxMemEdit = nullptr;
  QCheckBox* P_ResetCountersCheckBox = nullptr;
  QCheckBox* fUpDownCheckBox = nullptr;
  QPushButton* P_SaveBtn = nullptr;
  QPushButton* P_AdvancedBtn = nullptr;
};
