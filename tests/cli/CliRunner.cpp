#include "tests/cli/CliRunner.h"

#include <QProcess>
#include <QProcessEnvironment>

namespace kelvora::test {

QStringList CliRun::OutLines() const { return Out.split('\n', Qt::SkipEmptyParts); }

CliRun RunCli(const QStringList& aArgs, int aTimeoutMs) {
  const QString dir = QProcessEnvironment::systemEnvironment().value("KELVORA_BIN_DIR");
  QProcess p;
  p.start(dir + "/kelvora-cli", aArgs);
  CliRun run;
  if (!p.waitForStarted(5000)) return run;
  if (!p.waitForFinished(aTimeoutMs)) {
    p.kill();
    p.waitForFinished(1000);
    return run;
  }
  run.Exit = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
  run.Out = QString::fromUtf8(p.readAllStandardOutput());
  run.Err = QString::fromUtf8(p.readAllStandardError());
  return run;
}

SimLink::SimLink(const std::vector<std::string>& aExtra) : fTrace(fDir.filePath("trace.jsonl")) {
  std::vector<std::string> args{"--rtu",   fDir.filePath("pty").toStdString(),        "--tcp", "0",
                                "--trace", fDir.filePath("trace.jsonl").toStdString()};
  args.insert(args.end(), aExtra.begin(), aExtra.end());
  fSim = std::make_unique<SimProcess>(args);
}

QStringList SimLink::Link(bool aTcp) const {
  if (aTcp)
    return {"--tcp",
            QString("%1:%2").arg(QString::fromStdString(fSim->TcpAddress())).arg(fSim->TcpPort())};
  return {"--port", QString::fromStdString(fSim->PtyPath())};
}

}  // namespace kelvora::test
