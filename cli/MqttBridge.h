#pragma once
// One supply as one MQTT device: a retained `state` per reading, `availability` online while the
// supply answers, commands under `set/` checked against the model's limits with their outcome
// on `result`, and Home Assistant discovery. The broker and the supply may each go away and come
// back; the bridge goes on.

#include "cli/LinkJobs.h"
#include "cli/MqttClient.h"
#include "cli/ServedSupply.h"

#include <QString>
#include <QTimer>

#include <cstdint>
#include <optional>

struct TMqttBridgeSettings {
  QString Prefix;
  uint8_t Slave = 1;
  int32_t IntervalMs = 1000;
  bool Discovery = true;
};

class TMqttBridge {
 public:
  TMqttBridge(TServedSupply& aSupply, TLinkJobs& aJobs, TMqttClient& aClient,
              const TMqttBridgeSettings& aSettings);

  // The last will the client must be started with.
  QString AvailabilityTopic() const { return fSettings.Prefix + "/availability"; }
  static QByteArray Offline() { return "offline"; }

  void Start();
  // Says offline and leaves the broker.
  void Stop();

 private:
  void BrokerConnected();
  void BrokerLost(const QString& aWhy);
  void Tick();
  void TakeReading();
  void Command(const QString& aTopic, const QByteArray& aPayload);
  // The outcome of a command: empty when it was written, else why not.
  QString RunCommand(const QString& aWhat, const QString& aValue);
  void SetAvailable(bool aOnline, const QString& aWhy = {});
  void Publish(const QString& aSubtopic, const QByteArray& aPayload, bool aRetain);

  TServedSupply& fSupply;
  TLinkJobs& fJobs;
  TMqttClient& fClient;
  TMqttBridgeSettings fSettings;
  QTimer fTimer;
  bool fReadingQueued = false;  // a slow link must not pile readings up
  std::optional<bool> fOnline;  // unknown until the first reading
  bool fBrokerUp = false;
  QString fLastBrokerError;
};
