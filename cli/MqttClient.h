#pragma once
// The MQTT broker as the bridge needs it: connect with a last will, keep connecting with
// back-off while the broker is away, publish, subscribe, and hear what arrives. Everything is
// called, and every callback runs, on the thread that made the client.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

struct TMqttSettings {
  QString Host;
  uint16_t Port = 1883;
  QString ClientId;
  QString User, Password;     // no login when User is empty
  QString CaFile;             // TLS with this authority when set
  QString CertFile, KeyFile;  // the client's own certificate, with TLS
  QString WillTopic;  // published by the broker, retained, if the client dies; none when empty
  QByteArray WillPayload;
};

struct TMqttMessage {
  QString Topic;
  QByteArray Payload;
  bool Retained = false;  // kept by the broker from before, not sent just now
};

class TMqttClient {
 public:
  virtual ~TMqttClient() = default;

  // Starts connecting; false with the reason only for settings that can never work (an
  // unreadable authority file). A broker that is away is tried again and again.
  virtual bool Start(const TMqttSettings& aSettings, QString& aError) = 0;
  // QoS 0. Dropped, not queued, while the broker is away.
  virtual void Publish(const QString& aTopic, const QByteArray& aPayload, bool aRetain) = 0;
  // QoS 1, so that a command sent at QoS 1 is not downgraded on its way here.
  virtual void Subscribe(const QString& aTopic) = 0;
  // Sends what was published and leaves the broker; returns within aBudgetMs whatever the broker
  // does, abandoning a broker that does not answer.
  virtual void Stop(int aBudgetMs) = 0;

  std::function<void()> OnConnected;
  // Why the broker cannot be reached or was lost, each cause once until connected again.
  std::function<void(const QString& aWhy)> OnDisconnected;
  std::function<void(const TMqttMessage& aMessage)> OnMessage;
};

// How the client connects again: 1 s, doubling to 30 s, back to 1 s once connected.
inline constexpr int kMqttRetryFirstSeconds = 1, kMqttRetryLastSeconds = 30;
// A broker that accepts the connection but does not answer it is given up after this.
inline constexpr int kMqttConnectTimeoutSeconds = 10;

// The client over libmosquitto.
std::unique_ptr<TMqttClient> MakeMosquittoClient();
