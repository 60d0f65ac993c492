#pragma once
// The program's windows, created once at start in a fixed order and reachable from each other
// through one global reference each.

#include <QPointer>
#include <QStringList>

#include <memory>

class TMainForm;
class TEnterForm;
class TEnterForm2;
class TAdvancedForm;
class TTestForm;

extern QPointer<TMainForm> MainForm;
extern QPointer<TEnterForm2> EnterForm2;
extern QPointer<TAdvancedForm> AdvancedForm;
extern QPointer<TTestForm> TestForm;
extern QPointer<TEnterForm> EnterForm;

class TProgramWindows {
 public:
  // Creates MainForm, EnterForm2, AdvancedForm, TestForm, EnterForm, in this order: each later
  // window may read the main window's state while it is created.
  TProgramWindows();
  ~TProgramWindows();
  TProgramWindows(const TProgramWindows&) = delete;
  TProgramWindows& operator=(const TProgramWindows&) = delete;

  // Object names of the windows in the order they were created.
  const QStringList& CreationOrder() const { return fCreationOrder; }

 private:
  std::unique_ptr<TMainForm> fMain;
  std::unique_ptr<TAdvancedForm> fAdvanced;
  std::unique_ptr<TTestForm> fTest;
  QStringList fCreationOrder;
};
