#pragma once
// The outcome of one request of kelvora-cli, and why it failed in words for a person.

#include "modbus/KRTypes.h"

#include <QString>

#include <cstdint>

struct TCallResult {
  int32_t Error = 0;
  // The supply sent an answer: a positive Error is then its exception code, otherwise the
  // connector's failure code (no answer, link down).
  bool Answered = false;
  TKRRegisters Registers;
  // Set on failure: the cause, with the library's code.
  QString Why;

  bool Ok() const { return Error == 0; }
  bool NoAnswer() const { return Error != 0 && !Answered; }
  // The supply itself refused the request: sending it again gets the same refusal.
  bool Refused() const { return Error > 0 && Answered; }
  const QString& Text() const { return Why; }
};
