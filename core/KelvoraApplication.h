#pragma once
// The application object: carries the program's names and theme, and is the last net for an
// error that escapes a handler (see ErrorReport.h).

#include <QApplication>

#include "core/ErrorReport.h"

class TKelvoraApplication : public QApplication {
  Q_OBJECT
 public:
  TKelvoraApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;

  // The dark "Auric" theme the program carries as a style resource.
  void ApplyAuricStyle();
};
