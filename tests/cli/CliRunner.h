#pragma once
// Runs the kelvora-cli binary as a child process against a simulator started for the test.

#include "tests/support/SimProcess.h"
#include "tests/support/SimTrace.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <string>
#include <vector>

namespace kelvora::test {

struct CliRun {
  int Exit = -1;
  QString Out;
  QString Err;
  QStringList OutLines() const;
};

// Runs kelvora-cli from $KELVORA_BIN_DIR with these arguments and waits for it to end.
CliRun RunCli(const QStringList& aArgs, int aTimeoutMs = 30000);

// A simulator serving RTU on a pty and TCP on loopback, with its trace in a private folder.
class SimLink {
 public:
  explicit SimLink(const std::vector<std::string>& aExtra = {});
  QString Dir(const QString& aName) const { return fDir.filePath(aName); }
  // --port PATH, or --tcp 127.0.0.1:PORT
  QStringList Link(bool aTcp) const;
  SimTrace& Trace() { return fTrace; }
  SimProcess& Sim() { return *fSim; }

 private:
  QTemporaryDir fDir;
  std::unique_ptr<SimProcess> fSim;
  SimTrace fTrace;
};

}  // namespace kelvora::test
