#include "modbus/platform/SerialDevice.h"

#include <windows.h>

namespace {

HANDLE AsHandle(intptr_t h) { return reinterpret_cast<HANDLE>(h); }

// "COM12" opens only through the device namespace; "\\.\COM3" and "COM3" are the same port.
std::string DevicePath(const std::string& path) {
  return path.rfind("\\\\.\\", 0) == 0 ? path : "\\\\.\\" + path;
}

// Not every driver refuses a second open (virtual and some Bluetooth ports share, and so does
// Wine), so the port is also claimed by a named object that exists while the port is open.
HANDLE ClaimPort(const std::string& devicePath) {
  std::wstring name = L"Global\\Kelvora.SerialPort.";
  for (const char c : devicePath.substr(4))
    name += static_cast<wchar_t>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c == '\\' ? '/' : c);
  const HANDLE claim = CreateEventW(nullptr, TRUE, FALSE, name.c_str());
  if (claim && GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(claim);
    return nullptr;
  }
  return claim;
}

// The port's own numbering matches the DCB's for parity, stop bits, DTR and RTS.
void FillDcb(const TKRSerialSettings& s, DCB& d) {
  d.BaudRate = static_cast<DWORD>(s.BaudRate);
  d.ByteSize = static_cast<BYTE>(s.DataBits);
  d.Parity = static_cast<BYTE>(s.Parity);
  d.StopBits = static_cast<BYTE>(s.StopBits);
  d.fBinary = TRUE;
  d.fOutxCtsFlow = s.OutCTSFlow;
  d.fOutxDsrFlow = s.OutDSRFlow;
  d.fDtrControl = s.ControlDTR & 3;
  d.fRtsControl = s.ControlRTS & 3;
  d.fOutX = s.XonXoffOut;
  d.fInX = s.XonXoffIn;
  d.XonChar = static_cast<char>(s.XonChar);
  d.XoffChar = static_cast<char>(s.XoffChar);
  d.fDsrSensitivity = s.DSRSensitivity;
  d.fTXContinueOnXoff = s.TxContinueOnXoff;
  d.fNull = s.DiscardNull;
  d.fParity = s.ParityCheck;
  d.fErrorChar = s.ParityCheck && s.ParityReplace;
  d.ErrorChar = static_cast<char>(s.ParityReplaceChar);
  d.fAbortOnError = FALSE;  // a line error must not stall every later read
}

// Overlapped I/O with its own event; every wait on it is bounded and a cancelled operation is
// always collected, so the OVERLAPPED never outlives the call.
class TOverlapped {
 public:
  TOverlapped() { fOv.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr); }
  ~TOverlapped() {
    if (fOv.hEvent) CloseHandle(fOv.hEvent);
  }
  TOverlapped(const TOverlapped&) = delete;
  TOverlapped& operator=(const TOverlapped&) = delete;
  OVERLAPPED* Get() { return fOv.hEvent ? &fOv : nullptr; }
  // Bytes moved by the operation started on AHandle; -1 when it failed. Past ATimeoutMs the
  // operation is cancelled and what it moved so far is returned.
  int32_t Finish(HANDLE AHandle, BOOL AStarted, DWORD ATimeoutMs) {
    if (!AStarted && GetLastError() != ERROR_IO_PENDING) return -1;
    if (WaitForSingleObject(fOv.hEvent, ATimeoutMs) != WAIT_OBJECT_0) CancelIo(AHandle);
    DWORD moved = 0;
    if (!GetOverlappedResult(AHandle, &fOv, &moved, TRUE) &&
        GetLastError() != ERROR_OPERATION_ABORTED)
      return -1;
    return static_cast<int32_t>(moved);
  }

 private:
  OVERLAPPED fOv{};
};

}  // namespace

TKRSerialOpenResult TKRSerialDevice::Open(const std::string& APath,
                                          const TKRSerialSettings& ASettings) {
  Close();
  const std::string path = DevicePath(APath);
  const HANDLE claim = ClaimPort(path);
  if (!claim) return sorOpenFailed;
  // No sharing: the port's driver refuses every later open, by any program.
  const HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    CloseHandle(claim);
    return sorOpenFailed;
  }
  auto fail = [h, claim](TKRSerialOpenResult r) {
    CloseHandle(h);
    CloseHandle(claim);
    return r;
  };
  if (GetFileType(h) != FILE_TYPE_CHAR) return fail(sorOpenFailed);
  if (ASettings.InputBuffer <= 0 || ASettings.OutputBuffer <= 0 ||
      !SetupComm(h, static_cast<DWORD>(ASettings.InputBuffer),
                 static_cast<DWORD>(ASettings.OutputBuffer)))
    return fail(sorQueueRefused);

  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (ASettings.DataBits < 5 || ASettings.DataBits > 8 || !GetCommState(h, &dcb))
    return fail(sorLineRefused);
  FillDcb(ASettings, dcb);
  if (!SetCommState(h, &dcb)) return fail(sorLineRefused);

  // Reads return at once with what has arrived; writes are bounded per call (see Write).
  COMMTIMEOUTS t{};
  t.ReadIntervalTimeout = MAXDWORD;
  if (!SetCommTimeouts(h, &t) || !SetCommMask(h, EV_RXCHAR)) return fail(sorOpenFailed);
  PurgeComm(h, PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_TXCLEAR);
  fFd = reinterpret_cast<intptr_t>(h);
  fClaim = claim;
  return sorOk;
}

void TKRSerialDevice::Close() {
  if (fFd < 0) return;
  CloseHandle(AsHandle(fFd));
  CloseHandle(fClaim);
  fFd = -1;
  fClaim = nullptr;
}

int32_t TKRSerialDevice::Write(const uint8_t* ABuffer, int32_t ACount, uint32_t ATimeoutMs) {
  if (fFd < 0 || ACount <= 0) return 0;
  const HANDLE h = AsHandle(fFd);
  TOverlapped ov;
  if (!ov.Get()) return 0;
  const BOOL started = WriteFile(h, ABuffer, static_cast<DWORD>(ACount), nullptr, ov.Get());
  const int32_t written = ov.Finish(h, started, ATimeoutMs);
  return written < 0 ? 0 : written;
}

int32_t TKRSerialDevice::Read(uint8_t* ABuffer, int32_t ACount) {
  if (fFd < 0 || ACount <= 0) return 0;
  const HANDLE h = AsHandle(fFd);
  TOverlapped ov;
  if (!ov.Get()) return 0;
  // The read time-outs make this complete at once; the bound only guards a driver that ignores them.
  const BOOL started = ReadFile(h, ABuffer, static_cast<DWORD>(ACount), nullptr, ov.Get());
  const int32_t n = ov.Finish(h, started, 100);
  return n < 0 ? 0 : n;
}

int32_t TKRSerialDevice::InputCount() {
  COMSTAT stat{};
  DWORD errors = 0;
  if (fFd < 0 || !ClearCommError(AsHandle(fFd), &errors, &stat)) return 0;
  return static_cast<int32_t>(stat.cbInQue);
}

TKRSerialWait TKRSerialDevice::WaitForInput(uint32_t ATimeoutMs) {
  if (fFd < 0) return swFailed;
  const HANDLE h = AsHandle(fFd);
  const ULONGLONG deadline = GetTickCount64() + ATimeoutMs;
  for (;;) {
    COMSTAT stat{};
    DWORD errors = 0;
    if (!ClearCommError(h, &errors, &stat)) return swFailed;
    if (stat.cbInQue > 0) return swReadable;
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) return swTimeout;
    TOverlapped ov;
    if (!ov.Get()) return swFailed;
    DWORD mask = 0;
    const BOOL started = WaitCommEvent(h, &mask, ov.Get());
    // A wait that ends without a character (cancelled or spurious) goes round to the count.
    if (ov.Finish(h, started, static_cast<DWORD>(deadline - now)) < 0) return swFailed;
  }
}

void TKRSerialDevice::DiscardInput() {
  if (fFd >= 0) PurgeComm(AsHandle(fFd), PURGE_RXABORT | PURGE_RXCLEAR);
}
