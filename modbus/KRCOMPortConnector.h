#pragma once
// The connector for a serial port, and its worker: write the frame, collect the answer under
// the silence, overall and driver time limits.

#include "modbus/KRCOMPort.h"
#include "modbus/KRConnector.h"

#include <memory>

class TKRCOMPortConnector : public TKRConnector {
 public:
  explicit TKRCOMPortConnector(QObject* AOwner = nullptr);
  ~TKRCOMPortConnector() override;

  // The port object; the firmware updater borrows it while the connector is inactive.
  TKRCOMPort* ComPort() const { return FComPort.get(); }

  const QString& Port() const { return FComPort->Port(); }
  void SetPort(const QString& Value) { FComPort->SetPort(Value); }
  int32_t Parity() const { return FComPort->Parity(); }
  void SetParity(int32_t Value) { FComPort->SetParity(Value); }
  int32_t StopBits() const { return FComPort->StopBits(); }
  void SetStopBits(int32_t Value) { FComPort->SetStopBits(Value); }
  int32_t BaudRate() const { return FComPort->BaudRate(); }
  void SetBaudRate(int32_t Value) { FComPort->SetBaudRate(Value); }
  int32_t DataBits() const { return FComPort->DataBits(); }
  void SetDataBits(int32_t Value) { FComPort->SetDataBits(Value); }
  int32_t FlowControl() const { return FComPort->FlowControl(); }
  void SetFlowControl(int32_t Value) { FComPort->SetFlowControl(Value); }

  // Activation opens the port here (a port that fails is retried by the first pack);
  // deactivation stops the worker, closes the port and prepares a fresh worker.
  void SetActive(bool Value) override;
  bool GetConnected() const override { return FComPort->Connected(); }

 protected:
  std::unique_ptr<TKRConnectorThread> CreateThread() override;

 private:
  std::unique_ptr<TKRCOMPort> FComPort;
};

class TKRCOMPortThread : public TKRConnectorThread {
 public:
  TKRCOMPortThread(TKRConnector& AConnector, TKRCOMPort& AComPort, TKRThreadQueue2& AQueue);
  ~TKRCOMPortThread() override;

 protected:
  bool LinkUp() override { return FComPort.Connected(); }
  void OpenLink() override;
  QString OpenFailureText() const override;
  void CloseLink() override { FComPort.Close(); }
  bool DiscardInput() override;
  void Transmit(TKRConnectorPack& APack) override;
  int32_t Receive(TKRConnectorPack& APack, uint32_t AStarted) override;

 private:
  // After an answer was given up: drops what arrives until no answer to that request can still
  // come, and the line has then been quiet for the end of a frame.
  void AwaitQuietLine();
  // Notes that the answer of APack was given up now.
  void GiveUpAnswer(const TKRConnectorPack& APack);

  int32_t FErrCntr2 = 0;  // failed writes; only the seventh clears it
  // The last answer was given up for time: its bytes may still be on their way, until
  // fOverdueUntil, and fOverdueLength of them make the whole answer (0: unknown).
  bool fAnswerOverdue = false;
  uint32_t fOverdueFrom = 0;
  int32_t fOverdueLength = 0;
  TKRCOMPort& FComPort;
};
