#include "modbus/KRCOMPort.h"

#include <algorithm>

bool TKRCOMPort::Open() {
  if (FConnected) return true;
  FLastError = 0;
  const QString path = FPort.startsWith('/') ? FPort : QStringLiteral("/dev/") + FPort;
  const TKRSerialOpenResult r = fDevice.Open(path.toStdString(), fSettings);
  if (r != sorOk) {
    FLastError = r;
    return false;
  }
  FConnected = true;
  if (FOnConnected) FOnConnected(this);
  return true;
}

void TKRCOMPort::Close() {
  fDevice.Close();
  FConnected = false;
}

int32_t TKRCOMPort::Write(const void* Buffer, int32_t Count) {
  const uint64_t limit = static_cast<uint64_t>(FWriteTotalTimeoutConstant) +
                         static_cast<uint64_t>(FWriteTotalTimeoutMultiplier) *
                             static_cast<uint64_t>(Count > 0 ? Count : 0);
  return fDevice.Write(static_cast<const uint8_t*>(Buffer), Count,
                       static_cast<uint32_t>(std::min<uint64_t>(limit, 0x7FFFFFFF)));
}

int32_t TKRCOMPort::Read(void* Buffer, int32_t Count) {
  return fDevice.Read(static_cast<uint8_t*>(Buffer), Count);
}

int32_t TKRCOMPort::InputCount() { return fDevice.InputCount(); }

int32_t TKRCOMPort::FlowControl() const {
  const bool rts = fSettings.ControlRTS == 2;
  const bool cts = fSettings.OutCTSFlow;
  const bool xin = fSettings.XonXoffIn;
  const bool xout = fSettings.XonXoffOut;
  if (fSettings.ControlRTS == 0 && !cts && !xin && !xout) return 0;
  if (rts && cts && !xin && !xout) return 1;
  if (fSettings.ControlRTS == 0 && !cts && xin && xout) return 2;
  return 3;
}

void TKRCOMPort::SetFlowControl(int32_t Value) {
  if (Value < 0 || Value > 2) return;
  fSettings.ControlRTS = 0;
  fSettings.OutCTSFlow = false;
  fSettings.XonXoffIn = false;
  fSettings.XonXoffOut = false;
  if (Value == 1) {
    fSettings.ControlRTS = 2;
    fSettings.OutCTSFlow = true;
  } else if (Value == 2) {
    fSettings.XonXoffIn = true;
    fSettings.XonXoffOut = true;
  }
}
