#include "app/KelvoraApplication.h"
#include "app/MainUnit.h"
#include "app/ProgramWindows.h"

int main(int argc, char** argv) {
  TKelvoraApplication app(argc, argv);
  app.ApplyAuricStyle();
  TProgramWindows windows;
  MainForm->show();
  return app.exec();
}
