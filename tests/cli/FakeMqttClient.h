#pragma once
// A broker in a test's hands, behind the bridge's client interface: it records what is published
// and subscribed, and connects and delivers when the test says so.

#include "cli/MqttClient.h"

#include <vector>

struct TFakePublish {
  QString Topic;
  QByteArray Payload;
  bool Retain = false;
};

class TFakeMqttClient : public TMqttClient {
 public:
  bool Start(const TMqttSettings& aSettings, QString&) override {
    Settings = aSettings;
    return true;
  }
  void Publish(const QString& aTopic, const QByteArray& aPayload, bool aRetain) override {
    if (Up) Published.push_back({aTopic, aPayload, aRetain});
  }
  void Subscribe(const QString& aTopic) override { Subscribed.push_back(aTopic); }
  void Stop(int) override { Up = false; }

  void Connect() {
    Up = true;
    if (OnConnected) OnConnected();
  }
  void Deliver(const QString& aTopic, const QByteArray& aPayload, bool aRetained = false) {
    if (OnMessage) OnMessage({aTopic, aPayload, aRetained});
  }
  std::vector<QByteArray> On(const QString& aTopic) const {
    std::vector<QByteArray> payloads;
    for (const TFakePublish& p : Published)
      if (p.Topic == aTopic) payloads.push_back(p.Payload);
    return payloads;
  }

  TMqttSettings Settings;
  bool Up = false;
  std::vector<TFakePublish> Published;
  std::vector<QString> Subscribed;
};
