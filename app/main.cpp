#include "core/KelvoraApplication.h"
#include "app/MainUnit.h"
#include "app/ProgramWindows.h"
#include "app/TerminationSignals.h"
#include "app/UnsavedLogs.h"

int main(int argc, char** argv) {
  TKelvoraApplication app(argc, argv);
  app.ApplyAuricStyle();
  TProgramWindows windows;
  CloseOnTerminationSignals([] {
    if (MainForm) MainForm->close();
  });
  MainForm->show();
  OfferUnsavedLogsOnceShown();
  return app.exec();
}
