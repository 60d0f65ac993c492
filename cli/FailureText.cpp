#include "cli/FailureText.h"

namespace {

// Code 2 of the connector: the link could not be set up.
constexpr int32_t kNotConnected = 2;

QString ExceptionName(int32_t aCode) {
  switch (aCode) {
    case 1: return "illegal function";
    case 2: return "illegal data address";
    case 3: return "illegal data value";
    case 4: return "slave device failure";
    case 5: return "acknowledge, not ready yet";
    case 6: return "slave device busy";
    case 7: return "negative acknowledge";
    case 8: return "memory parity error";
    default: return "unknown exception";
  }
}

QString NoAnswer(const TLinkPlace& p) {
  return QString("no answer from slave %1 on %2 within %3 ms").arg(p.Slave).arg(p.Where).arg(p.AnswerMs);
}

QString ConnectorCause(int32_t aCode, const TLinkPlace& p) {
  switch (aCode) {
    case 1: return "the request queue for " + p.Where + " is full";
    case 2: return p.Where + " is not connected";
    case 3: return "could not send to " + p.Where;
    case 4:
    case 6: return NoAnswer(p);
    case 5: return "sending to " + p.Where + " timed out";
    case 7: return "the link to " + p.Where + " is not active";
    default: return "the link to " + p.Where + " failed";
  }
}

QString EngineCause(int32_t aCode, const TLinkPlace& p) {
  const QString from = QString(" from slave %1 on %2").arg(p.Slave).arg(p.Where);
  switch (aCode) {
    case -1: return "no link is attached to the Modbus master";
    case -2: return "a mismatched answer" + from + " (another transaction number)";
    case -3: return "an answer of the wrong length" + from;
    case -4: return "a garbled answer" + from + ": checksum error";
    case -5: return "an answer for another function" + from;
    case -6: return "a Modbus frame of the wrong length" + from;
    case -7: return "an answer with the wrong data length" + from;
    case -8: return "the request queue is full";
    case -9: return NoAnswer(p);
    case -10: return "a run-time error in the communications library";
    case -11: return "the Modbus protocol handler is switched off";
    case -12: return "the Modbus client is switched off";
    default: return "an unknown failure" + from;
  }
}

}  // namespace

QString FailureText(int32_t aError, bool aAnswered, const TLinkPlace& aPlace) {
  if (aError > 0 && aAnswered)
    return QString("slave %1 refused the request: %2 (exception %3)")
        .arg(aPlace.Slave)
        .arg(ExceptionName(aError))
        .arg(aError);
  if (aError > 0) return ConnectorCause(aError, aPlace) + QString(" (connector code %1)").arg(aError);
  if (aError < -100)
    return ConnectorCause(-aError - 100, aPlace) + QString(" (library code %1)").arg(aError);
  return EngineCause(aError, aPlace) + QString(" (library code %1)").arg(aError);
}

QString PortOpenText(TPortProblem aProblem, const QString& aPort) {
  QString cause;
  switch (aProblem) {
    case TPortProblem::Missing: cause = "no such port: " + aPort; break;
    case TPortProblem::Busy: cause = "port busy: another program holds " + aPort; break;
    case TPortProblem::Permission:
      cause = "permission denied: add yourself to the dialout group (" + aPort + ")";
      break;
    case TPortProblem::NotSerial: cause = "not a serial port: " + aPort; break;
    case TPortProblem::None:
    case TPortProblem::Other: cause = "cannot open " + aPort; break;
  }
  return cause + QString(" (connector code %1)").arg(kNotConnected);
}
