#include "cli/ProgressBar.h"

#include "cli/Console.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace {
constexpr int kWidth = 40;
}

TProgressBar::TProgressBar(bool aEnabled) : fEnabled(aEnabled) {}

bool TProgressBar::StderrIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

QString TProgressBar::Text(int32_t aCurrent, int32_t aMax, int aWidth) {
  const int64_t max = std::max<int64_t>(aMax, 1);
  const int64_t current = std::clamp<int64_t>(aCurrent, 0, max);
  const int filled = static_cast<int>(current * aWidth / max);
  const int percent = static_cast<int>(current * 100 / max);
  return QString("[%1%2] %3%")
      .arg(QString(filled, QChar('#')), QString(aWidth - filled, QChar(' ')))
      .arg(percent, 3);
}

void TProgressBar::Update(int32_t aCurrent, int32_t aMax) {
  fCurrent = aCurrent;
  fMax = aMax;
  Draw();
}

void TProgressBar::Line(const QString& aText) {
  Clear();
  fShown = false;  // drawn again by the next step of progress, below the line
  PrintLine(aText);
}

void TProgressBar::Finish() {
  if (!fEnabled || !fShown) return;
  std::fputc('\n', stderr);
  std::fflush(stderr);
  fShown = false;
}

void TProgressBar::Clear() {
  if (!fEnabled || !fShown) return;
  std::fputs("\r\033[K", stderr);
  std::fflush(stderr);
}

void TProgressBar::Draw() {
  if (!fEnabled) return;
  std::fprintf(stderr, "\r%s", Text(fCurrent, fMax, kWidth).toUtf8().constData());
  std::fflush(stderr);
  fShown = true;
}
