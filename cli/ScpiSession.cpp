#include "cli/ScpiSession.h"

namespace {
// The event status bit of an error's class: query -4xx, device -3xx, execution -2xx,
// command -1xx.
uint8_t EventBitOf(int aCode) {
  if (aCode <= -400) return 0x04;
  if (aCode <= -300) return 0x08;
  if (aCode <= -200) return 0x10;
  if (aCode <= -100) return 0x20;
  return 0;
}
}  // namespace

TScpiSession::TScpiSession() {
  // A client that only polls *STB? sees a protection trip without setting anything up.
  fQuestionable.Enable = 0x7FFF;
}

void TScpiSession::Raise(const TScpiError& aError) {
  fEventStatus |= EventBitOf(aError.Code);
  if (fErrors.size() < kQueueSize) {
    fErrors.push_back(aError);
    return;
  }
  fErrors.back() = TScpiError{-350, "Queue overflow"};
  fEventStatus |= EventBitOf(-350);
}

QString TScpiSession::NextError() {
  if (fErrors.empty()) return "0,\"No error\"";
  const TScpiError e = fErrors.front();
  fErrors.pop_front();
  QString text = e.Text;
  text.replace('"', "\"\"");
  return QString("%1,\"%2\"").arg(e.Code).arg(text);
}

uint8_t TScpiSession::TakeEventStatus() {
  const uint8_t status = fEventStatus;
  fEventStatus = 0;
  return status;
}

uint8_t TScpiSession::StatusByte() const {
  uint8_t status = 0;
  if (!fErrors.empty()) status |= kErrorAvailable;
  if (fQuestionable.Summary()) status |= kQuestionable;
  if (fAnswerWaiting) status |= kMessageAvailable;
  if (fEventStatus & fEventEnable) status |= kEventSummary;
  if (fOperation.Summary()) status |= kOperation;
  if (status & fServiceEnable) status |= kMasterSummary;
  return status;
}

void TScpiSession::PresetStatus() {
  fQuestionable.Enable = 0;
  fOperation.Enable = 0;
}

void TScpiSession::Clear() {
  fErrors.clear();
  fEventStatus = 0;
  fQuestionable.Event = 0;
  fOperation.Event = 0;
}
