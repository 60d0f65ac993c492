#include "tests/cli/UnprivilegedRun.h"

#include <QDir>
#include <QFile>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvora::test {

namespace {

constexpr uid_t kNobody = 65534;

bool Root() { return ::geteuid() == 0; }

bool GiveToNobody(const QString& aPath, mode_t aMode) {
  const QByteArray p = aPath.toLocal8Bit();
  return ::chmod(p.constData(), aMode) == 0 && (!Root() || ::chown(p.constData(), kNobody, kNobody) == 0);
}

}  // namespace

UnprivilegedRun::UnprivilegedRun() {
  const QString from = QProcessEnvironment::systemEnvironment().value("KELVORA_BIN_DIR");
  const QString base = fBase.path();
  fBin = base + "/bin";
  // The temporary folder is private to its maker; the copies must be reachable by everyone.
  fReady = ::chmod(base.toLocal8Bit().constData(), 0755) == 0 && QDir().mkpath(fBin) &&
           QDir().mkpath(base + "/ports") && QDir().mkpath(base + "/home") &&
           GiveToNobody(base + "/ports", 0700) && GiveToNobody(base + "/home", 0700);
  for (const char* name : {"kelvora-cli", "kpx-sim"})
    fReady = fReady && QFile::copy(from + "/" + name, fBin + "/" + name);
  fEnv.insert("PATH", "/usr/bin:/bin");
  fEnv.insert("HOME", base + "/home");
  fEnv.insert("KELVORA_PORTS_DIR", base + "/ports");
}

UnprivilegedRun::~UnprivilegedRun() {
  if (fSim.state() == QProcess::NotRunning) return;
  fSim.terminate();
  if (!fSim.waitForFinished(5000)) fSim.kill();
  fSim.waitForFinished(1000);
}

void UnprivilegedRun::Prepare(QProcess& aProcess) const {
  aProcess.setProcessEnvironment(fEnv);
  if (!Root()) return;
  aProcess.setChildProcessModifier([] {
    if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
      ::_exit(99);
  });
}

QString UnprivilegedRun::StartSim(const QStringList& aArgs) {
  Prepare(fSim);
  fSim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  fSim.start(fBin + "/kpx-sim", aArgs);
  if (!fSim.waitForStarted(5000)) return {};
  while (fSim.waitForReadyRead(10000)) {
    const QString line = QString::fromUtf8(fSim.readLine()).trimmed();
    if (!line.startsWith("READY")) continue;
    for (const QString& part : line.split(' '))
      if (part.startsWith("rtu=")) return part.mid(4);
    return {};
  }
  return {};
}

int UnprivilegedRun::RunCli(const QStringList& aArgs, QString* aErr) {
  QProcess p;
  Prepare(p);
  p.start(fBin + "/kelvora-cli", aArgs);
  if (!p.waitForStarted(5000) || !p.waitForFinished(30000)) {
    p.kill();
    p.waitForFinished(1000);
    return -1;
  }
  if (aErr) *aErr = QString::fromUtf8(p.readAllStandardError());
  return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

}  // namespace kelvora::test
