#pragma once
// Before a bridge takes a prefix: is another one serving it? A live bridge keeps `availability`
// retained "online" (its last will turns it "offline" when it dies). The check subscribes to it,
// then sends itself a marker: the broker hands out what it retains before the marker comes back.

#include "cli/MqttClient.h"

#include <QString>

#include <functional>
#include <optional>

class TMqttTakeoverCheck {
 public:
  // Makes the client's callbacks its own; the client is started by the caller.
  TMqttTakeoverCheck(TMqttClient& aClient, const QString& aPrefix);

  // Called once: true when another bridge serves the prefix.
  std::function<void(bool aTaken)> OnResult;

 private:
  void Connected();
  void Message(const TMqttMessage& aMessage);
  void Decide(bool aTaken);

  TMqttClient& fClient;
  QString fAvailability, fMarker;
  bool fDecided = false;
};
