#include "core/ErrorReport.h"

#include <QApplication>
#include <QWidget>

#include "core/Dialogs.h"

namespace {
bool gReporting = false;
}

void ReportError(const QString& text) {
  // The box runs its own event loop; an error raised meanwhile must not stack boxes.
  if (gReporting) return;
  gReporting = true;
  QWidget* owner = QApplication::activeWindow();
  if (!owner) {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->objectName() == "MainForm") owner = w;
  }
  ShowCenteredMessage(owner, text, TMsgKind::Error);
  gReporting = false;
}

void ReportCurrentException() {
  try {
    throw;
  } catch (const EKelvoraError& error) {
    ReportError(error.Text());
  } catch (const std::exception& error) {
    ReportError(QString::fromUtf8(error.what()));
  } catch (...) {
    ReportError(QStringLiteral("Unexpected error"));
  }
}
