#pragma once
// A stand-in for the main window behind the auto-test window: it records what the test window
// asks of it and reacts to the output switch as the main window does (switching off ends the
// run).

#include <QStringList>
#include <QWidget>

#include <memory>
#include <vector>

#include "autotest/TestUnit.h"
#include "logging/DataLog.h"
#include "panel/EnterUnit.h"

namespace kelvora::test {

struct FakeMain {
  FakeMain() {
    Window.setGeometry(10, 10, 300, 200);
    Log.SetClock([] { return QDateTime(QDate(2026, 12, 8), QTime(15, 30, 45)); });
  }

  TAutoTestHost Host() {
    TAutoTestHost host;
    host.MainWindow = &Window;
    host.Connected = [this] { return Connected; };
    host.PowerOn = [this] { return PowerOn; };
    host.OnOffBtnClick = [this] {
      PowerOn = !PowerOn;
      Events << (PowerOn ? "on" : "off");
      if (!PowerOn && Form) Form->EndTest();
    };
    host.SetKnobPositions = [this](uint32_t u, uint32_t i) {
      Data.USET = u;
      Data.ISET = i;
      Events << QString("set %1 %2").arg(u).arg(i);
    };
    host.ClearLogData = [this] { Log.ClearLogData(); };
    host.WriteLogData = [this] { Log.WriteLogData(Data); };
    host.SetLogging = [this](bool on) { Logging = on; };
    host.LogByTime = [this](int32_t& countdown) { Log.LogByTime(Data, countdown, Interval); };
    host.SaveLog = [this](QWidget*) { ++Saves; };
    host.LogByTimeSelected = [this] { return ByTime; };
    host.LogByEventSelected = [this] { return !ByTime; };
    host.EntryForm = [this] { return &Entry; };
    return host;
  }

  // The test window with this stand-in behind it and a start wait that only records itself.
  std::unique_ptr<TTestForm> MakeForm() {
    auto form = std::make_unique<TTestForm>(Host());
    Form = form.get();
    form->SetBeep([this] { ++Beeps; });
    form->SetStartWait([this](uint32_t ms) {
      Events << QString("wait %1").arg(ms);
      if (DuringWait) DuringWait();
    });
    return form;
  }

  QWidget Window;
  TEnterForm Entry;
  TTestForm* Form = nullptr;
  bool Connected = true;
  bool PowerOn = false;
  TCurrentSet Data{};
  TDataLog Log;
  bool Logging = false;
  bool ByTime = true;
  int32_t Interval = 3;
  int Saves = 0;
  int Beeps = 0;
  QStringList Events;
  std::function<void()> DuringWait;
};

}  // namespace kelvora::test
