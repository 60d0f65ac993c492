#pragma once
// One serial port: opened with a full line configuration, written with a bounded time, read
// without waiting. The serial connector and the firmware updater share one instance.

#include "modbus/KRTypes.h"
#include "modbus/platform/SerialDevice.h"

#include <QString>

#include <atomic>
#include <cstdint>

class TKRCOMPort {
 public:
  TKRCOMPort() = default;
  ~TKRCOMPort() { Close(); }
  TKRCOMPort(const TKRCOMPort&) = delete;
  TKRCOMPort& operator=(const TKRCOMPort&) = delete;

  // Opens Port with the current settings; true when open (also when it already was).
  // LastError: 0 success, 1 missing/busy/no access, 9 queue sizes, 3 line settings refused.
  bool Open();
  void Close();
  // Bytes handed to the driver within the write time-outs; 0 when the write fails.
  int32_t Write(const void* Buffer, int32_t Count);
  // Up to Count bytes that have already arrived; 0 when none. Never waits.
  int32_t Read(void* Buffer, int32_t Count);
  // Received bytes waiting; 0 when unknown.
  int32_t InputCount();
  // Sleeps until input arrives or ATimeoutMs pass, instead of polling InputCount.
  TKRSerialWait WaitForInput(uint32_t ATimeoutMs) { return fDevice.WaitForInput(ATimeoutMs); }
  // Drops input that nobody has read.
  void DiscardInput() { fDevice.DiscardInput(); }

  intptr_t Handle() const { return fDevice.Handle(); }
  bool Connected() const { return FConnected; }
  int32_t LastError() const { return FLastError; }

  // A device path ("/dev/ttyUSB0"); a bare name is looked for in /dev.
  const QString& Port() const { return FPort; }
  void SetPort(const QString& Value) { FPort = Value; }
  int32_t OutputBuffer() const { return fSettings.OutputBuffer; }
  void SetOutputBuffer(int32_t Value) { fSettings.OutputBuffer = Value; }
  int32_t InputBuffer() const { return fSettings.InputBuffer; }
  void SetInputBuffer(int32_t Value) { fSettings.InputBuffer = Value; }
  char EventChar() const { return FEventChar; }
  void SetEventChar(char Value) { FEventChar = Value; }
  bool DiscardNull() const { return fSettings.DiscardNull; }
  void SetDiscardNull(bool Value) { fSettings.DiscardNull = Value; }
  char XonChar() const { return static_cast<char>(fSettings.XonChar); }
  void SetXonChar(char Value) { fSettings.XonChar = static_cast<uint8_t>(Value); }
  char XoffChar() const { return static_cast<char>(fSettings.XoffChar); }
  void SetXoffChar(char Value) { fSettings.XoffChar = static_cast<uint8_t>(Value); }
  bool XonXoffOut() const { return fSettings.XonXoffOut; }
  void SetXonXoffOut(bool Value) { fSettings.XonXoffOut = Value; }
  bool XonXoffIn() const { return fSettings.XonXoffIn; }
  void SetXonXoffIn(bool Value) { fSettings.XonXoffIn = Value; }
  bool DSRSensitivity() const { return fSettings.DSRSensitivity; }
  void SetDSRSensitivity(bool Value) { fSettings.DSRSensitivity = Value; }
  bool OutDSRFlow() const { return fSettings.OutDSRFlow; }
  void SetOutDSRFlow(bool Value) { fSettings.OutDSRFlow = Value; }
  bool OutCTSFlow() const { return fSettings.OutCTSFlow; }
  void SetOutCTSFlow(bool Value) { fSettings.OutCTSFlow = Value; }
  uint32_t ControlDTR() const { return fSettings.ControlDTR; }
  void SetControlDTR(uint32_t Value) { fSettings.ControlDTR = Value; }
  uint32_t ControlRTS() const { return fSettings.ControlRTS; }
  void SetControlRTS(uint32_t Value) { fSettings.ControlRTS = Value; }
  bool TxContinueOnXoff() const { return fSettings.TxContinueOnXoff; }
  void SetTxContinueOnXoff(bool Value) { fSettings.TxContinueOnXoff = Value; }
  int32_t Parity() const { return fSettings.Parity; }
  void SetParity(int32_t Value) { fSettings.Parity = Value; }
  bool ParityCheck() const { return fSettings.ParityCheck; }
  void SetParityCheck(bool Value) { fSettings.ParityCheck = Value; }
  bool ParityReplace() const { return fSettings.ParityReplace; }
  void SetParityReplace(bool Value) { fSettings.ParityReplace = Value; }
  char ParityReplaceChar() const { return static_cast<char>(fSettings.ParityReplaceChar); }
  void SetParityReplaceChar(char Value) { fSettings.ParityReplaceChar = static_cast<uint8_t>(Value); }
  int32_t StopBits() const { return fSettings.StopBits; }
  void SetStopBits(int32_t Value) { fSettings.StopBits = Value; }
  int32_t BaudRate() const { return fSettings.BaudRate; }
  void SetBaudRate(int32_t Value) { fSettings.BaudRate = Value; }
  int32_t DataBits() const { return fSettings.DataBits; }
  void SetDataBits(int32_t Value) { fSettings.DataBits = Value; }
  // Reads are always immediate here; the read time-outs are kept for callers that set them.
  uint32_t ReadTotalTimeoutMultiplier() const { return FReadTotalTimeoutMultiplier; }
  void SetReadTotalTimeoutMultiplier(uint32_t Value) { FReadTotalTimeoutMultiplier = Value; }
  uint32_t ReadTotalTimeoutConstant() const { return FReadTotalTimeoutConstant; }
  void SetReadTotalTimeoutConstant(uint32_t Value) { FReadTotalTimeoutConstant = Value; }
  uint32_t ReadIntervalTimeout() const { return FReadIntervalTimeout; }
  void SetReadIntervalTimeout(uint32_t Value) { FReadIntervalTimeout = Value; }
  // A write may take the constant plus the multiplier per byte.
  uint32_t WriteTotalTimeoutMultiplier() const { return FWriteTotalTimeoutMultiplier; }
  void SetWriteTotalTimeoutMultiplier(uint32_t Value) { FWriteTotalTimeoutMultiplier = Value; }
  uint32_t WriteTotalTimeoutConstant() const { return FWriteTotalTimeoutConstant; }
  void SetWriteTotalTimeoutConstant(uint32_t Value) { FWriteTotalTimeoutConstant = Value; }

  // 0 none, 1 hardware (RTS/CTS), 2 software (XON/XOFF), 3 any other mix. Writing 3 does nothing.
  int32_t FlowControl() const;
  void SetFlowControl(int32_t Value);

  // Raised after every successful Open, on the thread that opened the port.
  const TNotifyEvent& OnConnected() const { return FOnConnected; }
  void SetOnConnected(TNotifyEvent Value) { FOnConnected = std::move(Value); }

 private:
  TKRSerialDevice fDevice;
  TKRSerialSettings fSettings;
  QString FPort = QStringLiteral("COM1");
  std::atomic<bool> FConnected{false};
  int32_t FLastError = 0;
  char FEventChar = 0;
  uint32_t FReadTotalTimeoutMultiplier = 0;
  uint32_t FReadTotalTimeoutConstant = 0;
  std::atomic<uint32_t> FWriteTotalTimeoutMultiplier{100};
  std::atomic<uint32_t> FWriteTotalTimeoutConstant{1000};
  uint32_t FReadIntervalTimeout = 0xFFFFFFFF;
  TNotifyEvent FOnConnected;
};
