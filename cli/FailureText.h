#pragma once
// The command line's own words for a failed exchange or an unopened port: English sentences
// that name the cause, followed by the library's code so that a report can be matched with the
// window's (Russian) message of the same code.

#include "cli/PortDiagnosis.h"

#include <QString>

#include <cstdint>

// Where requests go: "/dev/ttyUSB0" or "127.0.0.1:502", the slave address and how long an
// answer is waited for.
struct TLinkPlace {
  QString Where;
  uint8_t Slave = 1;
  uint32_t AnswerMs = 1000;
};

// "no answer from slave 1 on /dev/ttyUSB0 within 1000 ms (connector code 6)"
QString FailureText(int32_t aError, bool aAnswered, const TLinkPlace& aPlace);

// "port busy: another program holds /dev/ttyUSB0 (connector code 2)"
QString PortOpenText(TPortProblem aProblem, const QString& aPort);
