#pragma once
// The KPX supply as a SCPI instrument: the IEEE 488.2 common commands and the SCPI source,
// output, measure, protection, status and system commands, run one line at a time against the
// supply for the session that sent it.

#include "cli/ScpiPattern.h"
#include "cli/ScpiSession.h"
#include "cli/ServedSupply.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <set>
#include <vector>

class TScpiInstrument {
 public:
  explicit TScpiInstrument(TServedSupply& aSupply);

  // A session from now on latches what the server sees of the supply's protection and mode.
  void Attach(TScpiSession& aSession) { fSessions.insert(&aSession); }
  void Detach(TScpiSession& aSession) { fSessions.erase(&aSession); }

  // Runs the message units of aLine in order and stops at the first that fails, whose error goes
  // to the session's queue. The answers of its queries joined by ';', or nothing when it held
  // no query that answered.
  std::optional<QString> Execute(TScpiSession& aSession, const QByteArray& aLine);

 private:
  using THandler = std::function<QString(TScpiSession&, const QStringList&)>;
  struct TCommand {
    bool Common;
    TScpiPattern Header;
    bool Query;
    THandler Run;
  };
  void Add(const QString& aHeader, bool aQuery, THandler aRun);
  const TCommand* Find(const TScpiUnit& aUnit) const;
  void AddCommon();
  void AddSource();
  void AddMeasure();
  void AddStatus();
  void AddSystem();
  // Every read of PROTECT, CVCC or ONOFF goes to the status registers of every session.
  void Observe(const TCurrentSet& aData);
  // Reads the protection and mode now into the sessions' registers.
  void RefreshStatus();

  TServedSupply& fSupply;
  std::vector<TCommand> fCommands;
  std::set<TScpiSession*> fSessions;
};
