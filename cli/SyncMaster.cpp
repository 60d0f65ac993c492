#include "cli/SyncMaster.h"

#include "host/PortDiscovery.h"
#include "modbus/KRConnectorLng.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QHostAddress>
#include <QHostInfo>
#include <QTimer>

#include <cstdio>

namespace {

// The connector always ends an exchange, with an answer or a failure code; this only guards
// against waiting for ever should it not.
constexpr int32_t kCallGuardMs = 30000;
constexpr int32_t kTimeoutCode = -9;  // the library's "Таймаут."
// A lost link is tried again after this pause: a logger wants short gaps.
constexpr uint32_t kReconnectMs = 1000;

QString Ipv4Of(const QString& aHost) {
  QHostAddress address(aHost);
  if (address.protocol() == QAbstractSocket::IPv4Protocol) return address.toString();
  for (const QHostAddress& a : QHostInfo::fromName(aHost).addresses())
    if (a.protocol() == QAbstractSocket::IPv4Protocol) return a.toString();
  return {};
}

// A bare name is a simulated supply's link in the ports folder when there is one; otherwise the
// port object looks for it in /dev.
QString PortPath(const QString& aPort) {
  if (aPort.contains(QChar('/'))) return aPort;
  const QString link = DefaultPortsFolder() + "/" + aPort;
  return QFileInfo::exists(link) ? link : aPort;
}

void ReportRuntimeError(void*, const QString& aDescription, const std::exception& aException) {
  std::fprintf(stderr, "kelvora-cli: %s %s\n", aDescription.toUtf8().constData(),
               aException.what());
}

}  // namespace

QString TCallResult::Text() const {
  if (Error > 0 && !Answered) return KRConnectorErrorMsg(Error);
  QString level;
  return TKRModbusMaster::ErrorMsg(Error, level);
}

TSyncMaster::TSyncMaster(const TLinkSettings& aLink) : fLink(aLink) {
  fMaster = std::make_unique<TKRModbusMaster>();
  fMaster->SetName("ModbusMaster");
  fMaster->SetCheckID(true);
  fMaster->SetOnRuntimeError(ReportRuntimeError);
  if (fLink.Port.isEmpty()) {
    fTcp = std::make_unique<TKRTCPConnector>();
    fTcp->SetName("TCPConnector");
    fTcp->SetPort(fLink.TcpPort);
    fConnector = fTcp.get();
  } else {
    // The serial line as the program sets it up.
    fSerial = std::make_unique<TKRCOMPortConnector>();
    fSerial->SetName("COMPortConnector");
    fSerial->SetReadTimeout(500);
    fSerial->SetWriteTimeout(500);
    fSerial->SetWaitRespTime(1000);
    fSerial->SetPort(PortPath(fLink.Port));
    fSerial->SetBaudRate(fLink.Baud);
    fConnector = fSerial.get();
  }
  fConnector->SetReconnectTime(kReconnectMs);
  fConnector->SetOnRuntimeError(ReportRuntimeError);
  // Raised on the worker for every answer that arrived, before it is checked: what tells an
  // exception answer from a transport failure of the same code.
  fConnector->SetOnRecv(
      [answered = fAnswered](TKRConnector*, PKRBuffer, int32_t) { *answered = true; });
  fMaster->SetConnector(fConnector);
}

TSyncMaster::~TSyncMaster() {
  // The master lets go of its connector before the connector goes.
  fMaster->SetActive(false);
  fMaster.reset();
}

bool TSyncMaster::Open(QString& aError) {
  if (fTcp) {
    const QString ip = Ipv4Of(fLink.TcpHost);
    if (ip.isEmpty()) {
      aError = QString("%1: no IPv4 address for this host").arg(fLink.TcpHost);
      return false;
    }
    fTcp->SetIP(ip);
  }
  fMaster->SetActive(true);
  if (fConnector->Connected()) return true;
  const QString where =
      fSerial ? fLink.Port : QString("%1:%2").arg(fLink.TcpHost).arg(fLink.TcpPort);
  aError = where + ": " + KRConnectorErrorMsg(2);
  Close();
  return false;
}

void TSyncMaster::Close() { fMaster->SetActive(false); }

void TSyncMaster::Pause(int32_t aMs) {
  QEventLoop loop;
  QTimer::singleShot(aMs, &loop, &QEventLoop::quit);
  loop.exec();
}

TCallResult TSyncMaster::Call(const std::function<void(TMBMCallBack)>& aSubmit) {
  // Shared with the callback, which may outlive this call should the guard fire.
  struct TState {
    bool Done = false;
    TCallResult Result;
    QEventLoop* Loop = nullptr;
  };
  auto state = std::make_shared<TState>();
  *fAnswered = false;
  aSubmit([state, answered = fAnswered](int32_t AError, void* AData) {
    if (state->Done) return;
    state->Done = true;
    state->Result.Error = AError;
    state->Result.Answered = *answered;
    if (AError == 0 && AData) state->Result.Registers = *static_cast<const TKRRegisters*>(AData);
    if (state->Loop) state->Loop->quit();
  });
  if (!state->Done) {
    QEventLoop loop;
    state->Loop = &loop;
    QTimer::singleShot(kCallGuardMs, &loop, &QEventLoop::quit);
    loop.exec();
    state->Loop = nullptr;
    if (!state->Done) {
      state->Done = true;
      state->Result.Error = kTimeoutCode;
    }
  }
  return state->Result;
}

TCallResult TSyncMaster::Read(uint16_t aStart, uint16_t aCount) {
  TCallResult r = Call([&](TMBMCallBack cb) {
    fMaster->ReadHoldingRegisters(Framing(), fLink.Slave, aStart, aCount, std::move(cb));
  });
  // A short answer is as good as a wrong one.
  if (r.Ok() && r.Registers.size() < aCount) r.Error = -3;
  return r;
}

TCallResult TSyncMaster::WriteOne(uint16_t aRegister, uint16_t aValue) {
  return Call([&](TMBMCallBack cb) {
    fMaster->WriteHoldingRegister(Framing(), fLink.Slave, aRegister, aValue, std::move(cb));
  });
}

TCallResult TSyncMaster::WriteMany(uint16_t aStart, const TKRRegisters& aValues) {
  return Call([&](TMBMCallBack cb) {
    fMaster->WriteHoldingRegisters(Framing(), fLink.Slave, aStart, aValues, std::move(cb));
  });
}

void TSyncMaster::WriteOneUnanswered(uint16_t aRegister, uint16_t aValue) {
  fMaster->WriteHoldingRegister(Framing(), fLink.Slave, aRegister, aValue, {});
}
