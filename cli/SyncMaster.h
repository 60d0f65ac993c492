#pragma once
// One request at a time over the program's Modbus master, waited for in a local event loop so
// that a command reads like a script. The master stays asynchronous underneath: the connector's
// worker does the exchange and the answer comes back through the event loop.

#include "modbus/KRCOMPortConnector.h"
#include "modbus/KRModbusMaster.h"
#include "modbus/KRTCPConnector.h"
#include "cli/CallResult.h"
#include "cli/FailureText.h"
#include "cli/RetryPolicy.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

struct TLinkSettings {
  QString Port;  // serial device; empty for TCP
  QString TcpHost;
  uint16_t TcpPort = 502;
  int32_t Baud = 9600;
  uint8_t Slave = 1;
  TRetryPolicy Retry;
};

class TSyncMaster {
 public:
  explicit TSyncMaster(const TLinkSettings& aLink);
  ~TSyncMaster();
  TSyncMaster(const TSyncMaster&) = delete;
  TSyncMaster& operator=(const TSyncMaster&) = delete;

  // Activates the connector; false with the reason when the port or server cannot be reached.
  bool Open(QString& aError);
  // Deactivates the connector (the serial port is closed).
  void Close();

  // Each request goes out again as the retry policy allows; reads always may.
  TCallResult Read(uint16_t aStart, uint16_t aCount);
  TCallResult WriteOne(uint16_t aRegister, uint16_t aValue, TRepeat aRepeat);
  TCallResult WriteMany(uint16_t aStart, const TKRRegisters& aValues, TRepeat aRepeat);
  // A write that expects no answer (the supply leaves its firmware).
  void WriteOneUnanswered(uint16_t aRegister, uint16_t aValue);

  // Runs the event loop for aMs, so queued exchanges go on meanwhile.
  static void Pause(int32_t aMs);

  // The serial connector, or null over TCP.
  TKRCOMPortConnector* Serial() const { return fSerial.get(); }

 private:
  TCallResult Call(const std::function<void(TMBMCallBack)>& aSubmit);
  TCallResult RunWithRetries(TRepeat aRepeat, const std::function<TCallResult()>& aSend);
  TCallResult CallWithRetries(TRepeat aRepeat, const std::function<void(TMBMCallBack)>& aSubmit);
  // The port or server, the slave and the answer time, for the failure texts.
  TLinkPlace Place() const;
  TMBType Framing() const { return fSerial ? mbtRTU : mbtTCP; }

  TLinkSettings fLink;
  std::unique_ptr<TKRCOMPortConnector> fSerial;
  std::unique_ptr<TKRTCPConnector> fTcp;
  TKRConnector* fConnector = nullptr;
  std::unique_ptr<TKRModbusMaster> fMaster;
  std::shared_ptr<std::atomic<bool>> fAnswered = std::make_shared<std::atomic<bool>>(false);
};
