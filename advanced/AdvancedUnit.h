#pragma once
// The advanced window: display colours and firmware update, logging options of the automatic
// test, calibration, battery source, and the help, presentation and about pages. Created once at
// start (so the logging options are restored then) and shown modally by the main window.

#include <QDialog>

#include <cstdint>
#include <functional>

#include "advanced/DeviceSettingsHost.h"
#include "advanced/FirmwareUpdate.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTextBrowser;
class TBatterySource;
class TCalibration;

class TAdvancedForm : public QDialog {
  Q_OBJECT
 public:
  TAdvancedForm(TFirmwareUpdateHost aHost, const TDeviceSettingsHost& aDevice,
                QWidget* parent = nullptr);
  ~TAdvancedForm() override;

  // Closes the entry windows that may float above the main window; set by the program.
  std::function<void()> OnCloseEntryWindows;

  QTabWidget* PageControl1() const { return fPageControl1; }
  QWidget* ColorTab() const { return fColorTab; }
  QWidget* CalibTab() const { return fCalibTab; }
  QWidget* HelpTab() const { return fHelpTab; }
  QWidget* BatteryTab() const { return fBatteryTab; }
  // Tabs come and go with the identified model; a hidden tab keeps its place in the order.
  void SetTabVisible(QWidget* aTab, bool aVisible);
  bool TabVisible(QWidget* aTab) const;

  // Colours: box 1 output off, 2 constant voltage, 3 constant current.
  QComboBox* ColorBox(int aRow) const;
  void UpdateColorBox(QComboBox* aColorBox, uint32_t aColor);
  void ClrBtnClick(int aRow);

  // Logging options, read by the automatic test and the data log.
  QRadioButton* LogTimeRadioBtn() const { return fLogTimeRadioBtn; }
  QRadioButton* LogEventRadioBtn() const { return fLogEventRadioBtn; }
  QRadioButton* LogExcelRadioBtn() const { return fLogExcelRadioBtn; }
  QRadioButton* LogTextRadioBtn() const { return fLogTextRadioBtn; }
  QComboBox* LogIntervalComboBox() const { return fLogIntervalComboBox; }
  // Checked: a test that a lost connection stops leaves the output as it is; otherwise the
  // output is switched off once the supply answers again.
  QCheckBox* LeaveOutputCheckBox() const { return fLeaveOutputCheckBox; }
  QComboBox* UoutComboBox() const { return fUoutComboBox; }
  QComboBox* IoutComboBox() const { return fIoutComboBox; }
  int32_t GetLogInterval() const;
  void UpdateLogControls();
  void ApplayTestLogBtnClick();
  // LOG, EXCEL, LTIM, LUEV and LIEV, written when the main window closes.
  void StoreLogSettings() const;

  TFirmwareUpdate& FirmwareUpdate() const { return *fFirmwareUpdate; }
  TCalibration& Calibration() const { return *fCalibration; }
  TBatterySource& BatterySource() const { return *fBatterySource; }
  // Calibration data have arrived: the tab shows and its fields follow the record.
  void CalibDataChanged();

  // Pages. The presentation is loaded once by the opener: the program help for an identified
  // firmware, otherwise the update help.
  void LoadPresentation(bool aFirmwareIdentified);
  void HelpFileBtnClick();
  QTextBrowser* WebBrowser1() const { return fWebBrowser1; }
  QTextBrowser* WebBrowser2() const { return fWebBrowser2; }

  // Refused while a firmware update holds the serial port.
  void done(int aResult) override;

 protected:
  void showEvent(QShowEvent* aEvent) override;
  void changeEvent(QEvent* aEvent) override;
  void closeEvent(QCloseEvent* aEvent) override;

 private:
  QWidget* BuildColorTab();
  QWidget* BuildLoggingTab();
  QWidget* BuildAboutTab();
  QWidget* AddTab(const char* aName, const QString& aCaption, QWidget* aPage = nullptr);
  void FormCreate();
  void FormShow();
  void FormActivate();
  void FormClose();

  QTabWidget* fPageControl1 = nullptr;
  QWidget* fColorTab = nullptr;
  QWidget* fCalibTab = nullptr;
  QWidget* fHelpTab = nullptr;
  QWidget* fBatteryTab = nullptr;
  QComboBox* fColorBoxes[3] = {};
  QPushButton* fOkBtn = nullptr;
  TFirmwareUpdate* fFirmwareUpdate = nullptr;  // owned by its panel
  TCalibration* fCalibration = nullptr;        // owned by its tab
  TBatterySource* fBatterySource = nullptr;    // owned by its tab
  QRadioButton* fLogTimeRadioBtn = nullptr;
  QRadioButton* fLogEventRadioBtn = nullptr;
  QRadioButton* fLogExcelRadioBtn = nullptr;
  QRadioButton* fLogTextRadioBtn = nullptr;
  QComboBox* fLogIntervalComboBox = nullptr;
  QCheckBox* fLeaveOutputCheckBox = nullptr;
  QComboBox* fUoutComboBox = nullptr;
  QComboBox* fIoutComboBox = nullptr;
  QTextBrowser* fWebBrowser1 = nullptr;
  QTextBrowser* fWebBrowser2 = nullptr;
};
