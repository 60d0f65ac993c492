// journal_recording_program FOLDER: the program as it starts for a user (its application object,
// style, windows, termination signals and the offer of unsaved logs), with a scripted user who
// connects to the supply of the stored port and starts a one-minute auto-test that logs by time
// at the stored interval. After each new entry it saves what the program's own log would save
// into FOLDER/reference-<entries>.txt. It runs until it is killed.
#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "app/MainUnit.h"
#include "app/ProgramWindows.h"
#include "app/TerminationSignals.h"
#include "app/UnsavedLogs.h"
#include "autotest/TestUnit.h"
#include "core/Dialogs.h"
#include "core/KelvoraApplication.h"
#include "logging/DataLog.h"

namespace {
void Click(QWidget* window, const char* name) {
  if (auto* button = window->findChild<QPushButton*>(name))
    QTest::mouseClick(button, Qt::LeftButton);
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  TKelvoraApplication app(argc, argv);
  const QDir references(QString::fromLocal8Bit(argv[1]));
  app.ApplyAuricStyle();
  TProgramWindows windows;
  CloseOnTerminationSignals([] {
    if (MainForm) MainForm->close();
  });
  SetDialogResponder([](const TDialogRequest&) { return TDialogReply{QMessageBox::Ok, {}, {}}; });
  MainForm->show();
  OfferUnsavedLogsOnceShown();

  QTimer::singleShot(0, [] { Click(MainForm, "ConnectBtn"); });
  bool started = false;
  size_t saved = 0;
  QTimer user;
  QObject::connect(&user, &QTimer::timeout, [&] {
    if (!started && MainForm->Connected() && TestForm->StartBtn()->isEnabled()) {
      started = true;
      Click(MainForm, "TestBtn");
      TestForm->Steps()[0].Time = 60;
      Click(TestForm, "StartBtn");
    }
    const auto& log = MainForm->LogList();
    if (started && log.LogList().size() > saved) {
      saved = log.LogList().size();
      log.SaveTxtLogFile(references.filePath(QString("reference-%1.txt").arg(saved)));
    }
  });
  user.start(10);
  return app.exec();
}
