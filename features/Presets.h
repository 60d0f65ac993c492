#pragma once
// The twenty preset buttons of the main window, the "Profile" panel with the stored fields of
// the active preset, and the charge display of the battery presets. Device traffic only goes
// through the owner's request scheduler; values live in the owner's register mirrors.

#include <QObject>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

#include "core/TaskUnit.h"
#include "core/UtilUnit.h"

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;
class QToolButton;
class QWidget;
class TClickableEdit;
class TIndicator;

// What the main window lends the presets.
struct TPresetsHost {
  TCurrentSet& Data;
  TMemorySet& Memory;
  TModel& Model;
  TLN_TaskMgr& TaskMgr;
  QWidget* Form;                 // the save prompt is centred on it
  QWidget* ToolBar;              // holds the preset buttons
  QWidget* ProfileSurface;        // the "Profile" panel's controls are built on it
  QWidget* ParametersSurface;    // the device-wide controls, enabled here by their names
  QWidget* ChargeBarParent;      // the chart area: the charge bar lies over its right part
  QWidget* ChargeLabelParent;    // the set-point area: the charge text replaces the knob
  std::function<bool()> Connected;
  std::function<void(const QString&)> SetProfileCaption;
  // Set values on the displays and knobs without their change handlers.
  std::function<void()> ShowSetValues;
  // The next set-value write goes out even when the values equal the last ones written.
  std::function<void()> ForgetLastSetWrite;
  // Voltage knob, cursor buttons and voltage digits follow the preset kind (gData.MEM).
  std::function<void()> ShowSetExtras;
  // Optional: the over-heat and maximum-preset fields shown again from the mirrors.
  std::function<void()> UpdateParameterFields;
  // Optional: a value field was clicked; opens the entry window over it.
  std::function<void(TClickableEdit*)> EditClick;
};

class TPresets : public QObject {
  Q_OBJECT
 public:
  explicit TPresets(TPresetsHost host);
  ~TPresets() override;

  // Profile and parameter fields again from gMemory / gData.
  void UpdateMemory();
  void EnableParameterControls(bool Enable);
  // Button i (M0..M9 = 0..9, C0..C9 = 10..19) is visible exactly when i < MMAX.
  void ShowPresetButtons();
  // The button of the active preset (gData.MEM) is shown down.
  void ShowActivePreset();
  void EnablePresetButtons(bool e);
  // After a disconnect: no button down, none usable.
  void ReleasePresetButtons();
  // The 100 ms display tick.
  void UpdateChargeProgress();
  // Ranges and current decimals of the profile fields for the identified model.
  void SetupModel();
  // "Default on start" before identified firmware, "Soft Front" after.
  void LabelDefaultFlag();

  // The indicator behind a profile field, by the field's tag (0 .. 5).
  TIndicator* EditIndicator(int tag) const;
  static constexpr int kProfileEdits = 6;
  static constexpr int kLongPressMs = 1000;

 private:
  void BuildToolBar();
  void BuildProfile(QWidget* surface);
  void BuildChargeDisplay();
  void CreateEditIndicators();

  void ToolButtonClick(QAbstractButton* Sender);
  void ToolButtonMouseDown(QAbstractButton* Sender);
  void ToolButtonMouseUp();
  void MemBtnTimerTimer();
  void M_RefreshBtnClick();
  void M_SaveBtnClick();

  QWidget* ParametersControl(const char* name) const;

  TPresetsHost fHost;
  std::array<QToolButton*, 20> fButtons{};
  QButtonGroup* fButtonGroup = nullptr;
  QTimer* MemBtnTimer = nullptr;
  int fMemBtnTag = 0;
  // The press ended in the save prompt: its release is not a recall.
  bool fLongPressDone = false;

  std::array<std::unique_ptr<TIndicator>, kProfileEdits> fEdits;
  std::array<TClickableEdit*, kProfileEdits> fEditBoxes{};
  QCheckBox* M_DefaultCheckBox = nullptr;
  QCheckBox* M_PowerCheckBox = nullptr;
  QPushButton* M_RefreshBtn = nullptr;
  QPushButton* M_SaveBtn = nullptr;
  QProgressBar* ChargeProgressBar = nullptr;
  QLabel* ChargeLabel = nullptr;
};
