#pragma once
// One line from a SCPI client split into its message units ("VOLT 5;:OUTP ON;MEAS:VOLT?"), with
// the header path rule of SCPI: a unit after ';' that starts with neither ':' nor '*' continues
// in the subsystem of the unit before it ("SOUR:VOLT 5;CURR 1" is SOUR:CURR 1).

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

struct TScpiError {
  int Code = 0;
  QString Text;  // the standard's text, e.g. "Undefined header"
};

struct TScpiUnit {
  bool Common = false;  // "*IDN?"; its one node holds "IDN"
  bool Query = false;
  QStringList Nodes;       // mnemonics as sent, without ':'
  QStringList Parameters;  // trimmed, in order
};

struct TScpiMessage {
  std::vector<TScpiUnit> Units;  // the units before the first malformed one
  std::optional<TScpiError> Error;  // why parsing stopped there
};

TScpiMessage ParseScpiMessage(const QByteArray& aLine);
