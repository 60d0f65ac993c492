#include "cli/SyncMaster.h"

#include "cli/StopRequest.h"
#include "host/PortDiscovery.h"
#include "host/PortsFolder.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QHostAddress>
#include <QHostInfo>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

// The connector always ends an exchange, with an answer or a failure code; this only guards
// against waiting for ever should it not.
constexpr int32_t kCallGuardMs = 30000;
constexpr int32_t kTimeoutCode = -9;  // the library's "Таймаут."
// A lost link is tried again after this pause: a logger wants short gaps.
constexpr uint32_t kReconnectMs = 1000;
// The connector's codes for a link that is down (not connected, could not send).
constexpr int32_t kNotConnectedCode = 2, kSendFailedCode = 3;

bool LinkDown(const TCallResult& aResult) {
  return aResult.NoAnswer() &&
         (aResult.Error == kNotConnectedCode || aResult.Error == kSendFailedCode);
}

// Empty with the reason in aWhy when the host has no IPv4 address: the TCP transport is IPv4.
// (An IPv6 address is refused with the command line.)
QString Ipv4Of(const QString& aHost, QString& aWhy) {
  QHostAddress address(aHost);
  if (address.protocol() == QAbstractSocket::IPv4Protocol) return address.toString();
  for (const QHostAddress& a : QHostInfo::fromName(aHost).addresses())
    if (a.protocol() == QAbstractSocket::IPv4Protocol) return a.toString();
  aWhy = aHost + ": no IPv4 address for this host";
  return {};
}

// A bare name is a simulated supply's link in the ports folder when there is one and the folder
// can be trusted; otherwise the port object looks for it in /dev.
QString PortPath(const QString& aPort) {
  if (aPort.contains(QChar('/'))) return aPort;
  const QString folder = DefaultPortsFolder();
  const QString link = folder + "/" + aPort;
  if (!QFileInfo::exists(link)) return aPort;
  QString why;
  if (!PortsFolderTrusted(folder, &why)) {
    std::fprintf(stderr, "kelvora-cli: warning: %s\n", why.toUtf8().constData());
    return aPort;
  }
  return link;
}

QString ConnectFailureText(KRSocketApi::TConnectFailure aWhy, uint32_t aTimeoutMs) {
  switch (aWhy) {
    case KRSocketApi::cfRefused: return "connection refused (nothing listens on that port)";
    case KRSocketApi::cfUnreachable: return "host unreachable";
    case KRSocketApi::cfTimedOut: return QString("timed out after %1 ms").arg(aTimeoutMs);
    case KRSocketApi::cfNone:
    case KRSocketApi::cfOther: break;
  }
  return "the connection failed";
}

void ReportRuntimeError(void*, const QString& aDescription, const std::exception& aException) {
  std::fprintf(stderr, "kelvora-cli: %s %s\n", aDescription.toUtf8().constData(),
               aException.what());
}

}  // namespace

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
  // The link is given up only when a request has failed as often as it may be sent, so the
  // retries asked for all reach the supply; never sooner than the window gives it up.
  fConnector->SetCountErrorsForReconnect(
      std::max(fConnector->CountErrorsForReconnect(), 1 + fLink.Retry.Retries));
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
    const QString ip = Ipv4Of(fLink.TcpHost, aError);
    if (ip.isEmpty()) return false;
    fTcp->SetIP(ip);
  }
  fMaster->SetActive(true);
  if (fConnector->Connected()) return true;
  Close();
  if (fSerial) {
    // The device the port object tried: a name without a folder is one of /dev.
    const QString port = fSerial->Port();
    const QString device = port.startsWith('/') ? port : "/dev/" + port;
    aError = PortOpenText(DiagnosePort(device), device);
  } else {
    aError = QString("cannot connect to %1: %2 (connector code 2)")
                 .arg(Place().Where, ConnectFailureText(fTcp->TCPClient().ConnectFailure(),
                                                        fTcp->ConnectTimeout()));
  }
  return false;
}

TLinkPlace TSyncMaster::Place() const {
  if (fSerial) return {fLink.Port, fLink.Slave, fSerial->WaitRespTime()};
  return {QString("%1:%2").arg(fLink.TcpHost).arg(fLink.TcpPort), fLink.Slave, fTcp->ReadTimeout()};
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
  if (!state->Result.Ok())
    state->Result.Why = FailureText(state->Result.Error, state->Result.Answered, Place());
  return state->Result;
}

TCallResult TSyncMaster::RunWithRetries(TRepeat aRepeat, const std::function<TCallResult()>& aSend) {
  // A port that went away keeps its dead descriptor in the connector until its reconnect time
  // has passed; it is opened again at once instead, so that a supply that came back answers
  // within this round. After a stop nothing is tried again.
  bool down = false;
  return fLink.Retry.Run(aRepeat, [&] {
    if (down && !StopRequested()) {
      fMaster->SetActive(false);
      fMaster->SetActive(true);
    }
    TCallResult r = aSend();
    down = LinkDown(r);
    return r;
  });
}

TCallResult TSyncMaster::CallWithRetries(TRepeat aRepeat,
                                         const std::function<void(TMBMCallBack)>& aSubmit) {
  return RunWithRetries(aRepeat, [&] { return Call(aSubmit); });
}

TCallResult TSyncMaster::Read(uint16_t aStart, uint16_t aCount) {
  return RunWithRetries(TRepeat::Idempotent, [&] {
    TCallResult r = Call([&](TMBMCallBack cb) {
      fMaster->ReadHoldingRegisters(Framing(), fLink.Slave, aStart, aCount, std::move(cb));
    });
    // An answer of another length is as good as a wrong one.
    if (r.Ok() && r.Registers.size() != aCount) {
      r.Error = -3;
      r.Why = FailureText(r.Error, r.Answered, Place());
    }
    return r;
  });
}

TCallResult TSyncMaster::WriteOne(uint16_t aRegister, uint16_t aValue, TRepeat aRepeat) {
  return CallWithRetries(aRepeat, [&](TMBMCallBack cb) {
    fMaster->WriteHoldingRegister(Framing(), fLink.Slave, aRegister, aValue, std::move(cb));
  });
}

TCallResult TSyncMaster::WriteMany(uint16_t aStart, const TKRRegisters& aValues, TRepeat aRepeat) {
  return CallWithRetries(aRepeat, [&](TMBMCallBack cb) {
    fMaster->WriteHoldingRegisters(Framing(), fLink.Slave, aStart, aValues, std::move(cb));
  });
}

void TSyncMaster::WriteOneUnanswered(uint16_t aRegister, uint16_t aValue) {
  fMaster->WriteHoldingRegister(Framing(), fLink.Slave, aRegister, aValue, {});
}
