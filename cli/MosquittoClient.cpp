// libmosquitto runs its network loop on a thread of its own, which also reconnects with
// back-off; its callbacks are handed over to the thread that made the client.

#include "cli/MqttClient.h"

#include <QFileInfo>
#include <QMetaObject>
#include <QObject>

#include <mosquitto.h>

#include <cstring>
#include <mutex>

namespace {

constexpr int kKeepAliveSeconds = 10;
constexpr unsigned kReconnectMinSeconds = 1, kReconnectMaxSeconds = 30;

class TMosquittoClient : public TMqttClient {
 public:
  TMosquittoClient() {
    static std::once_flag init;
    std::call_once(init, [] { mosquitto_lib_init(); });
  }
  ~TMosquittoClient() override {
    Stop();
    if (fMosq) mosquitto_destroy(fMosq);
  }

  bool Start(const TMqttSettings& s, QString& aError) override {
    fMosq = mosquitto_new(s.ClientId.toUtf8().constData(), true, this);
    if (!fMosq) {
      aError = "cannot make an MQTT client";
      return false;
    }
    mosquitto_int_option(fMosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    if (!s.User.isEmpty())
      mosquitto_username_pw_set(fMosq, s.User.toUtf8().constData(),
                                s.Password.isEmpty() ? nullptr : s.Password.toUtf8().constData());
    if (!s.CaFile.isEmpty()) {
      if (!QFileInfo(s.CaFile).isReadable()) {
        aError = "cannot read the TLS authority file " + s.CaFile;
        return false;
      }
      const int rc = mosquitto_tls_set(fMosq, s.CaFile.toUtf8().constData(), nullptr, nullptr,
                                       nullptr, nullptr);
      if (rc != MOSQ_ERR_SUCCESS) {
        aError = QString("TLS with %1: %2").arg(s.CaFile, mosquitto_strerror(rc));
        return false;
      }
    }
    const QByteArray willTopic = s.WillTopic.toUtf8();
    mosquitto_will_set(fMosq, willTopic.constData(), static_cast<int>(s.WillPayload.size()),
                       s.WillPayload.constData(), 1, true);
    mosquitto_reconnect_delay_set(fMosq, kReconnectMinSeconds, kReconnectMaxSeconds, true);
    mosquitto_connect_callback_set(fMosq, &TMosquittoClient::Connected);
    mosquitto_disconnect_callback_set(fMosq, &TMosquittoClient::Disconnected);
    mosquitto_message_callback_set(fMosq, &TMosquittoClient::Message);
    // A broker that is away now is tried again by the loop, so the first failure is only said.
    const int rc = mosquitto_connect_async(fMosq, s.Host.toUtf8().constData(), s.Port,
                                           kKeepAliveSeconds);
    if (rc != MOSQ_ERR_SUCCESS && OnDisconnected) OnDisconnected(ErrorText(rc));
    const int loop = mosquitto_loop_start(fMosq);
    if (loop != MOSQ_ERR_SUCCESS) {
      aError = QString("MQTT network loop: %1").arg(mosquitto_strerror(loop));
      return false;
    }
    fRunning = true;
    return true;
  }

  void Publish(const QString& aTopic, const QByteArray& aPayload, bool aRetain) override {
    if (!fConnected) return;
    mosquitto_publish(fMosq, nullptr, aTopic.toUtf8().constData(),
                      static_cast<int>(aPayload.size()), aPayload.constData(), 0, aRetain);
  }

  void Subscribe(const QString& aTopic) override {
    mosquitto_subscribe(fMosq, nullptr, aTopic.toUtf8().constData(), 0);
  }

  void Stop() override {
    if (!fRunning) return;
    fRunning = false;
    mosquitto_disconnect(fMosq);
    mosquitto_loop_stop(fMosq, false);
  }

 private:
  static QString ErrorText(int aRc) {
    return aRc == MOSQ_ERR_ERRNO ? QString::fromLocal8Bit(std::strerror(errno))
                                 : QString::fromUtf8(mosquitto_strerror(aRc));
  }
  // On libmosquitto's thread: hand over to the client's thread.
  void Post(std::function<void()> aCall) {
    QMetaObject::invokeMethod(&fContext, std::move(aCall), Qt::QueuedConnection);
  }
  static void Connected(mosquitto*, void* aSelf, int aRc) {
    auto* self = static_cast<TMosquittoClient*>(aSelf);
    const QString why = aRc ? QString::fromUtf8(mosquitto_connack_string(aRc)) : QString();
    self->Post([self, aRc, why] {
      self->fConnected = aRc == 0;
      if (aRc == 0 && self->OnConnected) self->OnConnected();
      if (aRc != 0 && self->OnDisconnected) self->OnDisconnected(why);
    });
  }
  static void Disconnected(mosquitto*, void* aSelf, int aRc) {
    auto* self = static_cast<TMosquittoClient*>(aSelf);
    const QString why = aRc ? ErrorText(aRc) : QString("disconnected");
    self->Post([self, why] {
      self->fConnected = false;
      if (self->fRunning && self->OnDisconnected) self->OnDisconnected(why);
    });
  }
  static void Message(mosquitto*, void* aSelf, const mosquitto_message* aMessage) {
    auto* self = static_cast<TMosquittoClient*>(aSelf);
    const QString topic = QString::fromUtf8(aMessage->topic);
    const QByteArray payload(static_cast<const char*>(aMessage->payload), aMessage->payloadlen);
    self->Post([self, topic, payload] {
      if (self->OnMessage) self->OnMessage(topic, payload);
    });
  }

  mosquitto* fMosq = nullptr;
  bool fRunning = false;
  bool fConnected = false;  // on the client's thread
  QObject fContext;         // callbacks still posted when the client goes are dropped with it
};

}  // namespace

std::unique_ptr<TMqttClient> MakeMosquittoClient() { return std::make_unique<TMosquittoClient>(); }
