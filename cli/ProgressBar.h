#pragma once
// A one-line progress bar on stderr, drawn only when stderr is a terminal; log lines printed
// meanwhile go above it.

#include <QString>

#include <cstdint>

class TProgressBar {
 public:
  explicit TProgressBar(bool aEnabled);
  // Whether stderr is a terminal.
  static bool StderrIsTerminal();

  void Update(int32_t aCurrent, int32_t aMax);
  // Prints a log line on stdout in place of the bar.
  void Line(const QString& aText);
  // Leaves the bar where it is and moves on to a new line.
  void Finish();

  // "[#####     ]  50%" for a width of 10.
  static QString Text(int32_t aCurrent, int32_t aMax, int aWidth);

 private:
  void Clear();
  void Draw();

  bool fEnabled;
  bool fShown = false;
  int32_t fCurrent = 0, fMax = 0;
};
