#pragma once
// What one SCPI client has of its own: its error queue and its event status register. Clients
// share the supply, never each other's errors.

#include "cli/ScpiMessage.h"

#include <QString>

#include <cstdint>
#include <deque>

class TScpiSession {
 public:
  static constexpr size_t kQueueSize = 16;

  // Queues an error and sets its class's bit in the event status register; a full queue keeps
  // its oldest errors and ends with -350 "Queue overflow".
  void Raise(const TScpiError& aError);
  // "-222,\"Data out of range\"", or "0,\"No error\"" when the queue is empty.
  QString NextError();
  bool HasErrors() const { return !fErrors.empty(); }

  // *ESR? reads and clears; *OPC sets bit 0.
  uint8_t TakeEventStatus();
  void SetOperationComplete() { fEventStatus |= kOperationComplete; }
  void SetEventStatusEnable(uint8_t aMask) { fEventEnable = aMask; }
  uint8_t EventStatusEnable() const { return fEventEnable; }
  // *STB?: error queue not empty (bit 2), questionable summary (bit 3), event summary (bit 5),
  // and the master summary (bit 6) when any of them is set.
  uint8_t StatusByte(bool aQuestionable) const;

  // *CLS
  void Clear();

 private:
  static constexpr uint8_t kOperationComplete = 0x01;
  std::deque<TScpiError> fErrors;
  uint8_t fEventStatus = 0;
  uint8_t fEventEnable = 0;
};
