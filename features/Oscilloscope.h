#pragma once
// The main window's oscilloscope: a ring of the last 320 output samples (one per 100 ms tick),
// the chart drawn from it, and the controls of the "Oscilloscope" panel (channel, Run/Hold,
// scale per division with automatic ranging, vertical shift).

#include <QObject>

#include <cstdint>
#include <functional>

#include "features/OscDrawing.h"
#include "panel/UpDown.h"

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QWidget;

class TOscilloscope : public QObject {
  Q_OBJECT
 public:
  // Builds the controls on scopeSurface (about 312 x 190) and the chart image covering
  // oscillPanel (320 x 220, a fixed size), behind the panel's other children. Both widgets own
  // what is built on them.
  TOscilloscope(QWidget* scopeSurface, QWidget* oscillPanel);

  // What the owner knows: the link to the supply and whether its window is on screen.
  std::function<bool()> IsConnected;
  std::function<bool()> IsWindowVisible;

  // The sample step of the 100 ms tick: on "Run" store (output voltage, output current in the
  // model's unit) and redraw. On "Hold" nothing happens.
  void OscillTick(uint32_t uout, uint32_t iout);

  bool Running() const;
  void SetRun(bool value);

  void ClearOscData();
  // The first picture, when the owner's window is shown.
  void DrawInitial();

 private:
  void BuildControls(QWidget* surface);

  void OscUpdateClick();
  void WMOscRedraw();
  void VUpDownClick();
  void AUpDownClick();
  void OscVoltAutoCheckBoxClick();
  void OscAmperAutoCheckBoxClick();
  void OscRadioGroupClick();
  void OscResetShiftBtnClick();
  void OscToggleSwitchClick();

  void DrawOscilloscope(int32_t Newest);
  void AutoRangeOscilloscope(int32_t Newest);
  bool WindowVisible() const;

  TOscData fOscData{};
  int32_t fOscIdx = 0;
  QImage fOscBitmap;

  QLabel* OscImage;
  QGroupBox* OscRadioGroup = nullptr;
  QButtonGroup* fChannelButtons = nullptr;
  QCheckBox* OscToggleSwitch = nullptr;
  TUpDown* VUpDown = nullptr;
  TUpDown* AUpDown = nullptr;
  TUpDown* VshiftUpDown = nullptr;
  TUpDown* AshiftUpDown = nullptr;
  QCheckBox* OscVoltAutoCheckBox = nullptr;
  QCheckBox* OscAmperAutoCheckBox = nullptr;
  QPushButton* OscResetShiftBtn = nullptr;
};
