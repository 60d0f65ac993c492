// kelvora-cli: the supply from a shell, for scripts, test benches and long logging.

#include "cli/CliOptions.h"
#include "cli/Commands.h"
#include "cli/Console.h"
#include "cli/SyncMaster.h"

#include <QCoreApplication>

namespace {

int RunCommand(TCliContext& aContext) {
  switch (aContext.Options.Command) {
    case TCliCommand::Status: return RunStatus(aContext);
    case TCliCommand::Set: return RunSet(aContext);
    case TCliCommand::Output:
    case TCliCommand::Lock: return RunOnOff(aContext);
    case TCliCommand::Preset: return RunPreset(aContext);
    case TCliCommand::Watch: return RunWatch(aContext);
    case TCliCommand::Read: return RunRead(aContext);
    case TCliCommand::Write: return RunWrite(aContext);
    case TCliCommand::Flash: return RunFlash(aContext);
    case TCliCommand::Serve: return RunServe(aContext);
  }
  return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const TParsedCommandLine parsed = ParseCommandLine(app.arguments().mid(1));
  if (parsed.Help) {
    PrintLine(UsageText().trimmed());
    return kExitOk;
  }
  if (!parsed.Options) {
    // One line that says what is wrong; --help gives the whole usage.
    PrintError(parsed.Error);
    return kExitUsage;
  }
  const TCliOptions& o = *parsed.Options;
  TSyncMaster master({o.Port, o.TcpHost, o.TcpPort, o.Baud, o.Slave, o.Retry});
  QString error;
  if (!master.Open(error)) {
    PrintError(error);
    return kExitFailed;
  }
  TCliContext context{o, master};
  return RunCommand(context);
}
