// libmosquitto's network loop runs on a thread of our own, which connects, and connects again
// with back-off, so that every failure is seen and named, and so that stopping never waits on a
// broker that does not answer. What the thread hears is handed over to the thread that made the
// client.

#include "cli/MqttClient.h"

#include <QFile>
#include <QFileInfo>
#include <QMetaObject>
#include <QObject>

#include <mosquitto.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

namespace {

using TClock = std::chrono::steady_clock;

constexpr int kKeepAliveSeconds = 10;
constexpr int kLoopMs = 100;  // how soon the thread sees a stop request

// A PEM file with at least one certificate in it: libmosquitto itself would only find out at
// the first handshake, and then say no more than that the handshake failed.
bool HoldsCertificate(const QString& aFile) {
  QFile file(aFile);
  if (!file.open(QIODevice::ReadOnly)) return false;
  const QByteArray text = file.read(1 << 20);
  const QByteArray begin = "-----BEGIN CERTIFICATE-----", end = "-----END CERTIFICATE-----";
  const qsizetype from = text.indexOf(begin), to = text.indexOf(end, from);
  if (from < 0 || to < 0) return false;
  const QByteArray der =
      QByteArray::fromBase64(text.mid(from + begin.size(), to - from - begin.size()).simplified());
  return der.size() > 16 && static_cast<uint8_t>(der[0]) == 0x30;  // an ASN.1 sequence
}

// What the network thread and the client share. An abandoned thread keeps it alive.
struct TShared {
  mosquitto* Mosq = nullptr;
  TMqttSettings Settings;
  TMqttClient* Owner = nullptr;  // used only on the client's thread

  std::mutex Lock;
  std::condition_variable Wake, Done;
  bool Stopping = false, Finished = false;  // under Lock
  TClock::time_point LeaveBy;               // under Lock
  QObject* Context = nullptr;               // under Lock; null once the client is gone
  std::atomic<bool> Connected{false};

  // The network thread's own.
  int Connack = -1;  // the broker's answer to the last connect; -1 none yet
  QString TlsError;  // the first TLS failure the library logged since the last connect
  bool WrongHostName = false;
  QString LastCause;

  ~TShared() {
    if (Mosq) mosquitto_destroy(Mosq);
  }

  bool StopWanted() {
    std::lock_guard guard(Lock);
    return Stopping;
  }

  void Post(std::function<void()> aCall) {
    std::lock_guard guard(Lock);
    if (Context) QMetaObject::invokeMethod(Context, std::move(aCall), Qt::QueuedConnection);
  }

  void Report(const QString& aCause) {
    if (aCause == LastCause) return;
    LastCause = aCause;
    Post([this, aCause] {
      if (Owner->OnDisconnected) Owner->OnDisconnected(aCause);
    });
  }

  QString Where() const { return QString("%1:%2").arg(Settings.Host).arg(Settings.Port); }

  QString CauseOf(int aRc, int aErrno) const {
    if (WrongHostName)
      return QString("TLS: the broker's certificate was not issued for %1").arg(Settings.Host);
    if (!TlsError.isEmpty()) {
      if (TlsError.contains("certificate verify failed"))
        return QString("TLS: the broker's certificate is not signed by the authority in %1")
            .arg(Settings.CaFile);
      return QString("TLS handshake with %1 failed (%2); is it a TLS port?").arg(Where(), TlsError);
    }
    switch (aRc) {
      case MOSQ_ERR_EAI:
        return QString("the name %1 does not resolve").arg(Settings.Host);
      case MOSQ_ERR_TLS:
        return QString("TLS handshake with %1 failed").arg(Where());
      case MOSQ_ERR_CONN_LOST:
        return QString("%1 closed the connection").arg(Where());
      case MOSQ_ERR_KEEPALIVE:
        return QString("%1 stopped answering").arg(Where());
      case MOSQ_ERR_ERRNO:
        if (aErrno == ECONNREFUSED)
          return QString("%1 refuses the connection (no broker listening there)").arg(Where());
        if (aErrno == ETIMEDOUT) return QString("no answer from %1 (time-out)").arg(Where());
        if (aErrno == EPROTO || aErrno == 0)
          return QString("%1 closed the connection").arg(Where());
        return QString("%1: %2").arg(Where(), QString::fromLocal8Bit(std::strerror(aErrno)));
      default:
        return QString("%1: %2").arg(Where(), QString::fromUtf8(mosquitto_strerror(aRc)));
    }
  }

  QString ConnackCause() const {
    if (Connack == 4 || Connack == 5)
      return QString("%1 refused the login: wrong user name or password, or not authorised")
          .arg(Where());
    return QString("%1 refused the connection: %2")
        .arg(Where(), QString::fromUtf8(mosquitto_connack_string(Connack)));
  }

  // One connection from the connect to its end; the cause of the end, empty when stopping.
  QString Serve(int& aDelay) {
    const TClock::time_point deadline =
        TClock::now() + std::chrono::seconds(kMqttConnectTimeoutSeconds);
    bool up = false;
    while (!StopWanted()) {
      errno = 0;
      const int rc = mosquitto_loop(Mosq, kLoopMs, 1);
      const int error = errno;
      if (Connack > 0) return ConnackCause();
      if (Connack == 0 && !up) {
        up = true;
        aDelay = kMqttRetryFirstSeconds;
        LastCause.clear();
        Connected = true;
        Post([this] {
          if (Owner->OnConnected) Owner->OnConnected();
        });
      }
      if (rc != MOSQ_ERR_SUCCESS) {
        Connected = false;
        if (up) return "connection lost: " + CauseOf(rc, error);
        if (rc != MOSQ_ERR_KEEPALIVE) return CauseOf(rc, error);
      }
      if (up) continue;
      // Under TLS the library takes a refused connection for one that is slow to come: its
      // writes fail with a broken pipe, and it goes on trying.
      if (error == EPIPE) return CauseOf(MOSQ_ERR_ERRNO, ECONNREFUSED);
      if (rc == MOSQ_ERR_KEEPALIVE || TClock::now() > deadline)
        return QString("no answer from %1 within %2 s")
            .arg(Where())
            .arg(kMqttConnectTimeoutSeconds);
    }
    return {};
  }

  // What was published goes out, then the goodbye, as long as the broker takes them in time.
  void Leave() {
    if (!Connected) return;
    TClock::time_point by;
    {
      std::lock_guard guard(Lock);
      by = LeaveBy;
    }
    while (mosquitto_want_write(Mosq) && TClock::now() < by)
      if (mosquitto_loop(Mosq, 10, 1) != MOSQ_ERR_SUCCESS) return;
    Connected = false;
    mosquitto_disconnect(Mosq);
    while (mosquitto_socket(Mosq) >= 0 && TClock::now() < by)
      if (mosquitto_loop(Mosq, 10, 1) != MOSQ_ERR_SUCCESS) return;
  }

  void Run() {
    const QByteArray host = Settings.Host.toUtf8();
    int delay = kMqttRetryFirstSeconds;
    while (!StopWanted()) {
      Connack = -1;
      TlsError.clear();
      WrongHostName = false;
      errno = 0;
      const int rc =
          mosquitto_connect_async(Mosq, host.constData(), Settings.Port, kKeepAliveSeconds);
      const QString cause = rc == MOSQ_ERR_SUCCESS ? Serve(delay) : CauseOf(rc, errno);
      if (StopWanted()) break;
      Report(cause);
      std::unique_lock lock(Lock);
      Wake.wait_for(lock, std::chrono::seconds(delay), [this] { return Stopping; });
      delay = std::min(delay * 2, kMqttRetryLastSeconds);
    }
    Leave();
    std::lock_guard guard(Lock);
    Finished = true;
    Done.notify_all();
  }

  // libmosquitto's callbacks, on the network thread.
  static void OnConnack(mosquitto*, void* aShared, int aRc) {
    static_cast<TShared*>(aShared)->Connack = aRc;
  }
  static void Log(mosquitto*, void* aShared, int aLevel, const char* aText) {
    auto* s = static_cast<TShared*>(aShared);
    const QString text = QString::fromUtf8(aText);
    // "OpenSSL Error[0]: error:0A000086:SSL routines::certificate verify failed"
    if (aLevel != MOSQ_LOG_ERR) return;
    if (text.contains("host name verification failed")) s->WrongHostName = true;
    if (text.startsWith("OpenSSL Error") && s->TlsError.isEmpty())
      s->TlsError = text.section(':', -1).trimmed();
  }
  static void Message(mosquitto*, void* aShared, const mosquitto_message* aMessage) {
    auto* s = static_cast<TShared*>(aShared);
    TMqttMessage m{QString::fromUtf8(aMessage->topic),
                   QByteArray(static_cast<const char*>(aMessage->payload), aMessage->payloadlen),
                   aMessage->retain};
    s->Post([s, m] {
      if (s->Owner->OnMessage) s->Owner->OnMessage(m);
    });
  }
  // An encrypted key is refused rather than asked for on the terminal.
  static int NoKeyPassword(char*, int, int, void*) { return 0; }
};

class TMosquittoClient : public TMqttClient {
 public:
  TMosquittoClient() {
    static std::once_flag init;
    std::call_once(init, [] { mosquitto_lib_init(); });
    fShared->Context = &fContext;
    fShared->Owner = this;
  }
  ~TMosquittoClient() override {
    Stop(1000);
    std::lock_guard guard(fShared->Lock);
    fShared->Context = nullptr;
  }

  bool Start(const TMqttSettings& s, QString& aError) override {
    fShared->Settings = s;
    mosquitto* m = mosquitto_new(s.ClientId.toUtf8().constData(), true, fShared.get());
    if (!m) {
      aError = "cannot make an MQTT client";
      return false;
    }
    fShared->Mosq = m;
    mosquitto_threaded_set(m, true);
    mosquitto_int_option(m, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    if (!s.User.isEmpty())
      mosquitto_username_pw_set(m, s.User.toUtf8().constData(),
                                s.Password.isEmpty() ? nullptr : s.Password.toUtf8().constData());
    if (!s.CaFile.isEmpty() && !SetTls(s, aError)) return false;
    if (!s.WillTopic.isEmpty())
      mosquitto_will_set(m, s.WillTopic.toUtf8().constData(),
                         static_cast<int>(s.WillPayload.size()), s.WillPayload.constData(), 1,
                         true);
    mosquitto_connect_callback_set(m, &TShared::OnConnack);
    mosquitto_message_callback_set(m, &TShared::Message);
    mosquitto_log_callback_set(m, &TShared::Log);
    fThread = std::thread([shared = fShared] { shared->Run(); });
    return true;
  }

  void Publish(const QString& aTopic, const QByteArray& aPayload, bool aRetain) override {
    if (!fShared->Connected) return;
    mosquitto_publish(fShared->Mosq, nullptr, aTopic.toUtf8().constData(),
                      static_cast<int>(aPayload.size()), aPayload.constData(), 0, aRetain);
  }

  void Subscribe(const QString& aTopic) override {
    if (!fShared->Connected) return;
    mosquitto_subscribe(fShared->Mosq, nullptr, aTopic.toUtf8().constData(), 1);
  }

  void Stop(int aBudgetMs) override {
    if (!fThread.joinable()) return;
    const auto budget = std::chrono::milliseconds(aBudgetMs);
    std::unique_lock lock(fShared->Lock);
    fShared->Stopping = true;
    fShared->LeaveBy = TClock::now() + budget * 3 / 4;
    fShared->Wake.notify_all();
    const bool done = fShared->Done.wait_for(lock, budget, [this] { return fShared->Finished; });
    lock.unlock();
    // A thread held up in a name look-up or a connect is left to end with the program.
    if (done)
      fThread.join();
    else
      fThread.detach();
  }

 private:
  bool SetTls(const TMqttSettings& s, QString& aError) {
    for (const QString& file : {s.CaFile, s.CertFile, s.KeyFile})
      if (!file.isEmpty() && !QFileInfo(file).isReadable()) {
        aError = "cannot read the TLS file " + file;
        return false;
      }
    if (!HoldsCertificate(s.CaFile)) {
      aError = s.CaFile + " holds no PEM certificate: --mqtt-tls needs the broker's authority";
      return false;
    }
    if (!s.CertFile.isEmpty() && !HoldsCertificate(s.CertFile)) {
      aError = s.CertFile + " holds no PEM certificate";
      return false;
    }
    const QByteArray ca = s.CaFile.toUtf8(), cert = s.CertFile.toUtf8(), key = s.KeyFile.toUtf8();
    const int rc = mosquitto_tls_set(
        fShared->Mosq, ca.constData(), nullptr, cert.isEmpty() ? nullptr : cert.constData(),
        key.isEmpty() ? nullptr : key.constData(), &TShared::NoKeyPassword);
    if (rc != MOSQ_ERR_SUCCESS) {
      aError = QString("TLS with %1: %2").arg(s.CaFile, mosquitto_strerror(rc));
      return false;
    }
    return true;
  }

  std::shared_ptr<TShared> fShared = std::make_shared<TShared>();
  std::thread fThread;
  QObject fContext;  // what the thread posted and the client did not see goes with it
};

}  // namespace

std::unique_ptr<TMqttClient> MakeMosquittoClient() { return std::make_unique<TMosquittoClient>(); }
