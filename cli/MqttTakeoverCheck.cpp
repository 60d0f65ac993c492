#include "cli/MqttTakeoverCheck.h"

TMqttTakeoverCheck::TMqttTakeoverCheck(TMqttClient& aClient, const QString& aPrefix)
    : fClient(aClient),
      fAvailability(aPrefix + "/availability"),
      fMarker(aPrefix + "/takeover-check") {
  fClient.OnConnected = [this] { Connected(); };
  fClient.OnMessage = [this](const TMqttMessage& aMessage) { Message(aMessage); };
}

void TMqttTakeoverCheck::Connected() {
  fClient.Subscribe(fAvailability);
  fClient.Subscribe(fMarker);
  fClient.Publish(fMarker, "1", false);
}

void TMqttTakeoverCheck::Message(const TMqttMessage& aMessage) {
  if (aMessage.Topic == fAvailability && aMessage.Retained && aMessage.Payload == "online")
    Decide(true);
  else if (aMessage.Topic == fMarker)
    Decide(false);
}

void TMqttTakeoverCheck::Decide(bool aTaken) {
  if (fDecided) return;
  fDecided = true;
  if (OnResult) OnResult(aTaken);
}
