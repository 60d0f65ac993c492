#pragma once
// Runs the program and the simulator as a normal user would: as root the children drop to the
// user nobody (uid 65534) and run from copies in a folder that user can reach, with a ports
// folder of their own; as anyone else they run as they are.

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace kelvora::test {

class UnprivilegedRun {
 public:
  UnprivilegedRun();
  // Stops the simulator with SIGTERM.
  ~UnprivilegedRun();
  bool Ready() const { return fReady; }
  // Starts kpx-sim with these arguments; the link path of its READY line, empty on failure.
  QString StartSim(const QStringList& aArgs);
  // Runs kelvora-cli to its end; its exit code, -1 when it did not end normally.
  int RunCli(const QStringList& aArgs, QString* aErr = nullptr);

 private:
  void Prepare(QProcess& aProcess) const;

  QTemporaryDir fBase;
  QString fBin;
  QProcessEnvironment fEnv;
  QProcess fSim;
  bool fReady = false;
};

}  // namespace kelvora::test
