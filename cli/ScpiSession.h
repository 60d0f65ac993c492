#pragma once
// What one SCPI client has of its own: its error queue and the status registers of IEEE 488.2
// and SCPI-99 (event status, questionable and operation events). Clients share the supply, never
// each other's errors or events: a protection trip the server sees is latched in every session.

#include "cli/ScpiMessage.h"

#include <QString>

#include <cstdint>
#include <deque>

// A condition register with its event register, latching positive transitions, and the enable
// mask of its summary bit.
struct TScpiStatusRegister {
  uint16_t Condition = 0;
  uint16_t Event = 0;
  uint16_t Enable = 0;

  void Observe(uint16_t aCondition) {
    Event |= aCondition & ~Condition;
    Condition = aCondition;
  }
  uint16_t TakeEvent() {
    const uint16_t e = Event;
    Event = 0;
    return e;
  }
  bool Summary() const { return (Event & Enable) != 0; }
};

class TScpiSession {
 public:
  static constexpr size_t kQueueSize = 16;
  // Status byte bits.
  static constexpr uint8_t kErrorAvailable = 0x04, kQuestionable = 0x08, kMessageAvailable = 0x10,
                           kEventSummary = 0x20, kMasterSummary = 0x40, kOperation = 0x80;

  TScpiSession();

  // Queues an error and sets its class's bit in the event status register; a full queue keeps
  // its oldest errors and ends with -350 "Queue overflow".
  void Raise(const TScpiError& aError);
  // "-222,\"Data out of range\"", or "0,\"No error\"" when the queue is empty.
  QString NextError();
  size_t ErrorCount() const { return fErrors.size(); }

  // *ESR? reads and clears; *OPC sets bit 0.
  uint8_t TakeEventStatus();
  void SetOperationComplete() { fEventStatus |= kOperationComplete; }
  void SetEventStatusEnable(uint8_t aMask) { fEventEnable = aMask; }
  uint8_t EventStatusEnable() const { return fEventEnable; }
  // *SRE; bit 6 cannot be enabled.
  void SetServiceRequestEnable(uint8_t aMask) { fServiceEnable = aMask & ~kMasterSummary; }
  uint8_t ServiceRequestEnable() const { return fServiceEnable; }
  // An answer is waiting to be sent (MAV): set by the server before a line, and by each query
  // answered in it.
  void SetAnswerWaiting(bool aWaiting) { fAnswerWaiting = aWaiting; }
  // *STB?: EAV, QUES, MAV, ESB and OPER summaries, and MSS when any enabled by *SRE is set.
  uint8_t StatusByte() const;

  // STATus:QUEStionable (protection) and STATus:OPERation (CV, CC).
  TScpiStatusRegister& Questionable() { return fQuestionable; }
  TScpiStatusRegister& Operation() { return fOperation; }
  // STATus:PRESet: both enables to 0, as the standard sets them.
  void PresetStatus();

  // *CLS: errors and all event registers.
  void Clear();

 private:
  static constexpr uint8_t kOperationComplete = 0x01;
  std::deque<TScpiError> fErrors;
  uint8_t fEventStatus = 0;
  uint8_t fEventEnable = 0;
  uint8_t fServiceEnable = 0;
  bool fAnswerWaiting = false;
  TScpiStatusRegister fQuestionable, fOperation;
};
