#pragma once
// The platform's serial port: exclusive open with a line configuration, a bounded write, a read
// that returns at once, the count of waiting bytes and a wait for input. serial_posix.cpp
// implements it over termios, serial_win32.cpp over the Win32 communications functions; the
// build picks one.

#include <cstdint>
#include <string>

struct TKRSerialSettings {
  int32_t BaudRate = 4800;
  int32_t DataBits = 8;
  int32_t Parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
  int32_t StopBits = 0;  // 0 one, 1 one and a half, 2 two
  bool OutCTSFlow = false;
  bool OutDSRFlow = false;
  uint32_t ControlDTR = 0;  // 0 off, 1 on, 2 handshake
  uint32_t ControlRTS = 0;  // 0 off, 1 on, 2 handshake, 3 toggle
  bool XonXoffOut = false;
  bool XonXoffIn = false;
  uint8_t XonChar = 17;
  uint8_t XoffChar = 19;
  bool DSRSensitivity = false;
  bool TxContinueOnXoff = false;
  bool DiscardNull = false;
  bool ParityCheck = false;
  bool ParityReplace = false;
  uint8_t ParityReplaceChar = 0;
  int32_t InputBuffer = 1024;
  int32_t OutputBuffer = 1024;
};

// Outcome of Open, as the port reports it in LastError.
enum TKRSerialOpenResult : int32_t {
  sorOk = 0,
  sorOpenFailed = 1,    // missing, busy or no access
  sorLineRefused = 3,   // a setting the line cannot take
  sorQueueRefused = 9,  // queue sizes refused
};

// What a wait for input found.
enum TKRSerialWait : int32_t { swReadable = 1, swTimeout = 0, swFailed = -1 };

class TKRSerialDevice {
 public:
  TKRSerialDevice() = default;
  ~TKRSerialDevice() { Close(); }
  TKRSerialDevice(const TKRSerialDevice&) = delete;
  TKRSerialDevice& operator=(const TKRSerialDevice&) = delete;

  // Opens APath for this process: a second open by another program fails unless it runs as
  // root (the terminal's exclusive mode) and a second program that locks the port the same way
  // is refused (the lock is advisory: one that does not ask for it is not stopped).
  TKRSerialOpenResult Open(const std::string& APath, const TKRSerialSettings& ASettings);
  void Close();
  bool IsOpen() const { return fFd >= 0; }
  intptr_t Handle() const { return fFd; }

  // Bytes written within ATimeoutMs; 0 when the write fails at once.
  int32_t Write(const uint8_t* ABuffer, int32_t ACount, uint32_t ATimeoutMs);
  // Up to ACount bytes that have already arrived; never waits.
  int32_t Read(uint8_t* ABuffer, int32_t ACount);
  int32_t InputCount();
  TKRSerialWait WaitForInput(uint32_t ATimeoutMs);
  // Drops whatever has arrived and not been read.
  void DiscardInput();

 private:
  intptr_t fFd = -1;  // a descriptor, or a HANDLE on Windows
#ifdef _WIN32
  void* fClaim = nullptr;  // the named object that marks the port as taken
#endif
};
