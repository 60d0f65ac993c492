#pragma once
// One supply as one MQTT device: a retained `state` when a reading changed (and at every
// heartbeat), `availability` online while the supply answers, live commands under `set/` checked
// against the model's limits with their outcome on `result`, and Home Assistant discovery. The
// broker and the supply may each go away and come back; the bridge goes on.

#include "cli/LinkJobs.h"
#include "cli/MqttClient.h"
#include "cli/MqttCommandQueue.h"
#include "cli/MqttTopics.h"
#include "cli/ServedSupply.h"

#include <QElapsedTimer>
#include <QJsonObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <optional>

struct TMqttBridgeSettings {
  TDiscoverySettings Bench;  // prefix, device name, slave, discovery prefix
  int32_t IntervalMs = 1000;
  int32_t HeartbeatS = 60;  // an unchanged reading is published again after this
  bool Discovery = true;
};

class TMqttBridge {
 public:
  TMqttBridge(TServedSupply& aSupply, TLinkJobs& aJobs, TMqttClient& aClient,
              const TMqttBridgeSettings& aSettings);

  // The last will the client must be started with.
  QString AvailabilityTopic() const { return Prefix() + "/availability"; }
  static QByteArray Offline() { return "offline"; }
  // What a retained command gets on `result`.
  static QByteArray RetainedRefusal() {
    return "retained commands are not carried out; send it without retain";
  }

  void Start();
  // Takes no more readings and drops the commands waiting: the supply is being handed back.
  void Hold();
  // Says offline and leaves the broker within aBudgetMs.
  void Stop(int aBudgetMs);

 private:
  const QString& Prefix() const { return fSettings.Bench.Prefix; }
  void BrokerConnected();
  void Tick();
  void TakeReading();
  void Message(const TMqttMessage& aMessage);
  void ScheduleCommand();
  void RunNextCommand();
  // The outcome of a command: empty when it was written, else why not.
  QString RunCommand(const TMqttCommand& aCommand);
  QString RunProtectionLimit(const TMqttCommand& aCommand);
  void SetAvailable(bool aOnline, const QString& aWhy = {});
  void Publish(const QString& aSubtopic, const QByteArray& aPayload, bool aRetain);

  TServedSupply& fSupply;
  TLinkJobs& fJobs;
  TMqttClient& fClient;
  TMqttBridgeSettings fSettings;
  QTimer fTimer;
  bool fReadingQueued = false;  // a slow link must not pile readings up
  bool fCommandQueued = false;  // one job at a time carries out the waiting commands
  TMqttCommandQueue fCommands;
  bool fHeld = false;
  std::optional<bool> fOnline;               // unknown until the first reading
  std::optional<TProtectionLimits> fLimits;  // of the active preset; read again when empty
  QJsonObject fLastState;                    // as last published; empty forces the next one out
  QElapsedTimer fSincePublished;
};
