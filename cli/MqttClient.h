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
  QString User, Password;  // no login when User is empty
  QString CaFile;          // TLS with this authority when set
  QString WillTopic;       // published by the broker, retained, if the bridge dies
  QByteArray WillPayload;
};

class TMqttClient {
 public:
  virtual ~TMqttClient() = default;

  // Starts connecting; false with the reason only for settings that can never work (an
  // unreadable authority file). A broker that is away is tried again and again.
  virtual bool Start(const TMqttSettings& aSettings, QString& aError) = 0;
  // QoS 0. Dropped, not queued, while the broker is away.
  virtual void Publish(const QString& aTopic, const QByteArray& aPayload, bool aRetain) = 0;
  virtual void Subscribe(const QString& aTopic) = 0;
  // Disconnects cleanly, after what was published has gone out.
  virtual void Stop() = 0;

  std::function<void()> OnConnected;
  std::function<void(const QString& aWhy)> OnDisconnected;
  std::function<void(const QString& aTopic, const QByteArray& aPayload)> OnMessage;
};

// The client over libmosquitto.
std::unique_ptr<TMqttClient> MakeMosquittoClient();
