#include "cli/MqttBridge.h"

#include "cli/Console.h"
#include "cli/MqttTopics.h"
#include "cli/SetPointLimit.h"

#include <QDateTime>

#include <cmath>

TMqttBridge::TMqttBridge(TServedSupply& aSupply, TLinkJobs& aJobs, TMqttClient& aClient,
                         const TMqttBridgeSettings& aSettings)
    : fSupply(aSupply), fJobs(aJobs), fClient(aClient), fSettings(aSettings) {
  fTimer.setInterval(fSettings.IntervalMs);
  fTimer.setTimerType(Qt::PreciseTimer);
  QObject::connect(&fTimer, &QTimer::timeout, [this] { Tick(); });
}

void TMqttBridge::Start() {
  fClient.OnConnected = [this] { BrokerConnected(); };
  fClient.OnDisconnected = [this](const QString& aWhy) { BrokerLost(aWhy); };
  fClient.OnMessage = [this](const QString& aTopic, const QByteArray& aPayload) {
    Command(aTopic, aPayload);
  };
  fTimer.start();
  Tick();
}

void TMqttBridge::Stop() {
  fTimer.stop();
  Publish("availability", Offline(), true);
  fClient.Stop();
}

void TMqttBridge::Publish(const QString& aSubtopic, const QByteArray& aPayload, bool aRetain) {
  fClient.Publish(fSettings.Prefix + "/" + aSubtopic, aPayload, aRetain);
}

void TMqttBridge::BrokerConnected() {
  fBrokerUp = true;
  PrintError("MQTT broker connected; publishing under " + fSettings.Prefix);
  fClient.Subscribe(fSettings.Prefix + "/set/+");
  if (fSettings.Discovery) {
    for (const auto& [topic, payload] :
         DiscoveryConfigs(fSupply.Known(), fSettings.Slave, fSettings.Prefix))
      fClient.Publish(topic, payload, true);
  }
  // The broker keeps the will's "offline" until told otherwise.
  if (fOnline) Publish("availability", *fOnline ? "online" : "offline", true);
}

void TMqttBridge::BrokerLost(const QString& aWhy) {
  // Each failed attempt reports again; say so once until the broker is back.
  if (!fBrokerUp && !aWhy.isEmpty() && fLastBrokerError == aWhy) return;
  fLastBrokerError = aWhy;
  fBrokerUp = false;
  QString why = aWhy;
  if (why.endsWith(QChar(0x2E))) why.chop(1);  // the library ends its texts in a full stop
  PrintError("MQTT broker: " + why + "; connecting again with back-off");
}

void TMqttBridge::Tick() {
  if (fReadingQueued) return;
  fReadingQueued = true;
  fJobs.Post([this] {
    fReadingQueued = false;
    TakeReading();
  });
}

void TMqttBridge::TakeReading() {
  try {
    const TCurrentSet& data = fSupply.ReadState();
    SetAvailable(true);
    Publish("state", StateJson(fSupply.Known(), data, QDateTime::currentDateTime()), true);
  } catch (const TSupplyFailure& failure) {
    SetAvailable(false, failure.Why);
  }
}

void TMqttBridge::SetAvailable(bool aOnline, const QString& aWhy) {
  if (fOnline == aOnline) return;
  if (fOnline || !aOnline)
    PrintError(aOnline ? QString("supply answers again")
                       : "supply: " + aWhy + "; trying again every reading");
  fOnline = aOnline;
  Publish("availability", aOnline ? "online" : "offline", true);
}

void TMqttBridge::Command(const QString& aTopic, const QByteArray& aPayload) {
  const QString prefix = fSettings.Prefix + "/set/";
  if (!aTopic.startsWith(prefix)) return;
  const QString what = aTopic.mid(prefix.size());
  const QString value = QString::fromUtf8(aPayload).trimmed();
  fJobs.Post([this, what, value] {
    const QString refusal = RunCommand(what, value);
    Publish("result", refusal.isEmpty() ? QByteArray("ok") : refusal.toUtf8(), false);
    if (refusal.isEmpty()) TakeReading();  // the dashboard sees the change at once
  });
}

QString TMqttBridge::RunCommand(const QString& aWhat, const QString& aValue) {
  try {
    const TSupply& supply = fSupply.Identified();
    const QString model = supply.Caption.section(QChar(0x20), 0, 0);
    if (aWhat == "voltage" || aWhat == "current") {
      bool ok = false;
      const double v = aValue.toDouble(&ok);  // "." decimals whatever the locale
      if (!ok || !std::isfinite(v) || v < 0)
        return QString("set/%1 takes a number of %2, not \"%3\"; nothing was written")
            .arg(aWhat, aWhat == "voltage" ? "volts" : "amperes", aValue);
      const TSetPointCheck c = aWhat == "voltage" ? CheckVoltage(v, model) : CheckCurrent(v, model);
      if (!c.Units) return c.Refusal;
      if (aWhat == "voltage")
        fSupply.WriteSetPoint(c.Units, std::nullopt);
      else
        fSupply.WriteSetPoint(std::nullopt, c.Units);
      return {};
    }
    if (aWhat == "output" || aWhat == "lock") {
      const QString word = aValue.toUpper();
      if (word != "ON" && word != "OFF")
        return QString("set/%1 takes ON or OFF, not \"%2\"; nothing was written").arg(aWhat, aValue);
      if (aWhat == "output")
        fSupply.WriteOutput(word == "ON");
      else
        fSupply.WriteKeyLock(word == "ON");
      return {};
    }
    return QString("unknown command set/%1").arg(aWhat);
  } catch (const TSupplyFailure& failure) {
    SetAvailable(false, failure.Why);
    return "the supply did not take it: " + failure.Why;
  }
}
