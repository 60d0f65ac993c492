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
  // The request went out and its answer was lost or garbled: the supply may have carried it out.
  bool Unconfirmed() const {
    switch (Error) {
      case 4:
      case 6: return !Answered;  // no answer (with an answer: the supply's exception)
      case -2: case -3: case -4: case -5: case -6: case -7:  // an answer that does not fit
      case -9: return true;  // nothing at all came back
      default: return false;
    }
  }
  const QString& Text() const { return Why; }
};
