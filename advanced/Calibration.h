#pragma once
// The "Calibration" tab: the supply's seven calibration points. For each point the user starts
// it (the supply enters that calibration state), types the value measured with an external
// meter into the point's field and applies it; at the end the calibration is saved in the
// supply, or dropped by leaving. The program computes nothing: the supply does the work on the
// commands written to CLB_CMD .. CLB_DATA_H.

#include <QObject>
#include <QPixmap>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

#include "advanced/DeviceSettingsHost.h"

class QButtonGroup;
class QGroupBox;
class QLabel;
class QPushButton;
class TIndicator;
class TValuePanel;
class TWaitForm;
class QWidget;

class TCalibration : public QObject {
  Q_OBJECT
 public:
  static constexpr int kPoints = 7;
  // Point state, held in the colour of its field.
  static constexpr uint32_t kNotApplied = 0xFFFFFF;
  static constexpr uint32_t kApplied = 0x0066FF66;
  // The leads drawn over the picture for a point's group.
  enum class TWiring { Uin, Uout, Iout, None };

  // Builds the tab's controls on aTab. aHost must outlive the tab.
  TCalibration(QWidget* aTab, const TDeviceSettingsHost& aHost);
  ~TCalibration() override;

  // The window shows the calibration help, and closes.
  std::function<void()> OnHelp;
  std::function<void()> OnCloseWindow;

  // Rewrites the seven field captions from the calibration record.
  void CalibDataChanged(void* Sender);
  void CalibDataPanelClick(TValuePanel* Sender);
  // Point index 1 .. 7, in the record's order.
  void StartPoint(int aIndex);
  void Calib_Uin_Btn1Click() { StartPoint(1); }
  void Calib_Uin_Btn2Click() { StartPoint(2); }
  void Calib_Uout_Btn1Click() { StartPoint(3); }
  void Calib_Uout_Btn2Click() { StartPoint(4); }
  void Calib_Iout_Btn1Click() { StartPoint(5); }
  void Calib_Iout_Btn2Click() { StartPoint(6); }
  void Calib_Temp_Btn2Click() { StartPoint(7); }
  // aTag 0 .. 6: the point's index minus 1.
  void Applay_BtnClick(int aTag);
  void Calib_Save_BtnClick();
  void DisableApplayBtns();
  void UpdateSaveBtn();
  // The output-current-high choices of the model, the lowest selected.
  void FillIoutHighGroup(uint16_t Model);
  void SelectLowestIoutHigh();
  void SetCurrentDivider_10();
  // Back to 10 mA units, for a supply of the other kind connected after one in 1 mA units.
  void SetCurrentDivider_1();
  // The window closes: a run still open on the supply is left without saving.
  void FormClose();

  bool Calibrating() const { return fCalibrating; }
  uint16_t CurrentDivider() const { return fCurrentDivider; }
  TIndicator& Indicator(int aTag) const { return *fIndicators[aTag]; }
  TValuePanel* Panel(int aTag) const { return fPanels[aTag]; }
  QPushButton* StartBtn(int aTag) const { return fStartBtns[aTag]; }
  QPushButton* ApplayBtn(int aTag) const { return fApplayBtns[aTag]; }
  QPushButton* Calib_Temp_Btn2() const { return fStartBtns[6]; }
  QPushButton* Calib_Save_Btn() const { return fCalib_Save_Btn; }
  QGroupBox* IoutHighGroup() const { return fIoutHighGroup; }
  QLabel* InputLabel() const { return fInputLabel; }
  QLabel* Image1() const { return fImage1; }
  QLabel* TermometerImage() const { return fTermometerImage; }
  TWaitForm* WaitForm() const { return fWaitForm.get(); }

 private:
  void BuildPoints(QWidget* aTab);
  void BuildSide(QWidget* aTab);
  void CreateIndicators();
  uint16_t GetIoutHighCurrent() const;
  void ResetCalibPicture();
  void DrawWiring(TWiring aWiring);
  void ResetCalibPanelColors();
  TCalibRecord& Record(int aTag) const;

  TDeviceSettingsHost fHost;
  bool fCalibrating = false;
  uint16_t fCurrentDivider = 1;
  std::unique_ptr<TWaitForm> fWaitForm;
  QPixmap fCalibBmp;
  std::array<std::unique_ptr<TIndicator>, kPoints> fIndicators;
  std::array<QPushButton*, kPoints> fStartBtns{};
  std::array<TValuePanel*, kPoints> fPanels{};
  std::array<QPushButton*, kPoints> fApplayBtns{};
  QGroupBox* fIoutHighGroup = nullptr;
  QButtonGroup* fIoutHighButtons = nullptr;
  QLabel* fInputLabel = nullptr;
  QLabel* fImage1 = nullptr;
  QLabel* fTermometerImage = nullptr;
  QPushButton* fCalib_Save_Btn = nullptr;
};
