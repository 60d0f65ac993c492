#pragma once
// The MQTT side of kelvora-cli serve: the broker's settings and credentials from the command
// line, a check that no other bridge serves the prefix, then the bridge itself, or only the
// removal of the bench's discovery configurations.

#include "cli/CliOptions.h"
#include "cli/LinkJobs.h"
#include "cli/MqttBridge.h"
#include "cli/MqttClient.h"
#include "cli/MqttTakeoverCheck.h"
#include "cli/ServedSupply.h"

#include <QObject>

#include <memory>

class TMqttService {
 public:
  TMqttService(const TCliOptions& aOptions, TServedSupply& aSupply, TLinkJobs& aJobs);
  ~TMqttService();

  // False with the reason for settings that can never work; warnings go to stderr.
  bool Start(QString& aError);
  // Takes no more commands: the supply is being handed back.
  void Hold();
  // Says offline and leaves the broker within aBudgetMs.
  void Stop(int aBudgetMs);
  // kExitUsage when another bridge serves the prefix, else kExitOk.
  int ExitCode() const { return fExitCode; }

 private:
  bool MakeSettings(QString& aError);
  bool StartClient(TMqttClient& aClient, const TMqttSettings& aSettings, QString& aError);
  void Checked(bool aTaken);
  bool StartBridge(QString& aError);
  void RemoveDiscovery();

  const TCliOptions& fOptions;
  TServedSupply& fSupply;
  TLinkJobs& fJobs;
  TMqttBridgeSettings fBridgeSettings;
  TMqttSettings fSettings;
  std::unique_ptr<TMqttClient> fCheckClient, fClient;
  std::unique_ptr<TMqttTakeoverCheck> fCheck;
  std::unique_ptr<TMqttBridge> fBridge;
  int fExitCode = 0;
  QObject fContext;  // for what must run after a callback of a client that goes away
};
