#pragma once
// What the auto-test window needs from the main window: the output switch and the set-point
// knobs, the log of the run and the logging options. The main window fills it in.

#include <cstdint>
#include <functional>

class QWidget;
class TEnterForm;

struct TAutoTestHost {
  // The window the test window docks to.
  QWidget* MainWindow = nullptr;
  std::function<bool()> Connected;
  std::function<bool()> PowerOn;
  // Toggles the output.
  std::function<void()> OnOffBtnClick;
  // Turns the knobs to a step's set values; each change raises its set-point write.
  std::function<void(uint32_t uset, uint32_t iset)> SetKnobPositions;

  // The log of the run.
  std::function<void()> ClearLogData;
  std::function<void()> WriteLogData;
  // Event logging on the display tick while the output is on.
  std::function<void(bool on)> SetLogging;
  // One second of logging by time with the chosen interval; countdown as the log defines it.
  std::function<void(int32_t& countdown)> LogByTime;
  // Asks for a file name and saves the log in the chosen format.
  std::function<void(QWidget* owner)> SaveLog;

  // The logging options.
  std::function<bool()> LogByTimeSelected;
  std::function<bool()> LogByEventSelected;

  // The pop-up entry window that edits the grid's values.
  std::function<TEnterForm*()> EntryForm;
};
