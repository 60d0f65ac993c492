// The test window follows the right edge of the main window while it is docked; a move the user
// makes undocks it until the next "Auto Test" click.
#include <QMoveEvent>
#include <QScreen>

#include <algorithm>

#include "autotest/TestUnit.h"
#include "panel/Indicator.h"

namespace {
constexpr int kDockedWidth = 302;
constexpr int kOverlapWidth = 330;
}  // namespace

bool TTestForm::MainWindowNormal() const {
  const QWidget* main = fHost.MainWindow;
  return main && !(main->windowState() & (Qt::WindowMinimized | Qt::WindowMaximized |
                                          Qt::WindowFullScreen));
}

void TTestForm::SetFrameBounds(const QRect& frame) {
  const QSize decoration = frameGeometry().size() - geometry().size();
  setFixedSize(frame.size() - decoration);
  move(frame.topLeft());
}

void TTestForm::FormShow() {
  fUsetInd->MaxValue = MAX_U;
  fIsetInd->MaxValue = MAX_I;
  fIsetInd->PointPos = CUR_DIVIDER == 10 ? 4 : 3;
  if (!fPinned || !MainWindowNormal()) return;
  const QRect main = fHost.MainWindow->frameGeometry();
  const QScreen* screen = fHost.MainWindow->screen();
  const int screenRight = screen ? screen->geometry().right() + 1 : 0;
  const int width = frameGeometry().width();
  if (main.left() + main.width() + width < screenRight) {
    PinnedMove();
    return;
  }
  // Both fit side by side once the main window moves left: it does, and this window docks.
  const QRect room = screen ? screen->availableGeometry() : QRect();
  if (main.width() + kDockedWidth <= room.width()) {
    fHost.MainWindow->move(std::max(room.left(), room.right() + 1 - main.width() - kDockedWidth),
                           main.top());
    PinnedMove();
    return;
  }
  // No room beside the main window: over its left part (which undocks this window).
  SetFrameBounds(QRect(main.left(), main.top(), kOverlapWidth, main.height()));
}

void TTestForm::PinnedMove() {
  if (!MainWindowNormal()) return;
  fPinnedMoving = true;
  const QRect main = fHost.MainWindow->frameGeometry();
  SetFrameBounds(QRect(main.left() + main.width(), main.top(), kDockedWidth, main.height()));
  fPinnedMoving = false;
}

void TTestForm::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  WMMove();
}

void TTestForm::WMMove() {
  if (!isVisible() || fPinnedMoving || !fPinned || !fHost.MainWindow) return;
  const QRect main = fHost.MainWindow->frameGeometry();
  if (x() != main.left() + main.width() || y() != main.top()) fPinned = false;
}
