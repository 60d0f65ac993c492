#include "cli/MqttBridge.h"

#include "cli/Console.h"
#include "cli/SetPointLimit.h"
#include "cli/Units.h"
#include "core/UtilUnit.h"

#include <QDateTime>

#include <cmath>

namespace {

// Payloads are echoed in refusals up to this many bytes, so that a flood stays small.
constexpr qsizetype kEchoBytes = 64;
// No command value is longer; a longer payload is refused without waiting for the link.
constexpr qsizetype kLongestValue = 256;

QString Echo(const QByteArray& aPayload) {
  if (aPayload.size() <= kEchoBytes) return QString::fromUtf8(aPayload);
  QByteArray cut = aPayload.left(kEchoBytes);
  // Not in the middle of a UTF-8 sequence.
  while (!cut.isEmpty() && (static_cast<uint8_t>(cut.back()) & 0xC0) == 0x80) cut.chop(1);
  if (!cut.isEmpty() && static_cast<uint8_t>(cut.back()) >= 0xC0) cut.chop(1);
  return QString::fromUtf8(cut) + "…";
}

bool Known(const QString& aWhat) {
  return aWhat == "voltage" || aWhat == "current" || aWhat == "output" || aWhat == "lock" ||
         aWhat == "ovp" || aWhat == "ocp";
}

}  // namespace

TMqttBridge::TMqttBridge(TServedSupply& aSupply, TLinkJobs& aJobs, TMqttClient& aClient,
                         const TMqttBridgeSettings& aSettings)
    : fSupply(aSupply), fJobs(aJobs), fClient(aClient), fSettings(aSettings) {
  fTimer.setInterval(fSettings.IntervalMs);
  fTimer.setTimerType(Qt::PreciseTimer);
  QObject::connect(&fTimer, &QTimer::timeout, [this] { Tick(); });
}

void TMqttBridge::Start() {
  fClient.OnConnected = [this] { BrokerConnected(); };
  fClient.OnMessage = [this](const TMqttMessage& aMessage) { Message(aMessage); };
  fTimer.start();
  Tick();
}

void TMqttBridge::Hold() {
  fHeld = true;
  fTimer.stop();
  while (fCommands.Take()) {
  }
}

void TMqttBridge::Stop(int aBudgetMs) {
  Hold();
  Publish("availability", Offline(), true);
  fClient.Stop(aBudgetMs);
}

void TMqttBridge::Publish(const QString& aSubtopic, const QByteArray& aPayload, bool aRetain) {
  fClient.Publish(Prefix() + "/" + aSubtopic, aPayload, aRetain);
}

void TMqttBridge::BrokerConnected() {
  PrintError("MQTT broker connected; publishing under " + Prefix());
  fClient.Subscribe(Prefix() + "/set/+");
  if (fSettings.Discovery) {
    for (const auto& [topic, payload] : DiscoveryConfigs(fSupply.Known(), fSettings.Bench))
      fClient.Publish(topic, payload, true);
  }
  // The broker keeps the will's "offline" until told otherwise.
  if (fOnline) Publish("availability", *fOnline ? "online" : "offline", true);
  fLastState = {};
}

void TMqttBridge::Tick() {
  if (fReadingQueued || fHeld) return;
  fReadingQueued = true;
  fJobs.Post([this] {
    fReadingQueued = false;
    TakeReading();
  });
}

void TMqttBridge::TakeReading() {
  try {
    QJsonObject values = StateValues(fSupply.Known(), fSupply.ReadState());
    // The limits live in the active preset, two exchanges away: read when they may have changed,
    // or at the heartbeat for a change made on the front panel.
    const bool due =
        !fSincePublished.isValid() || fSincePublished.elapsed() >= fSettings.HeartbeatS * 1000LL;
    if (!fLimits || due) fLimits = fSupply.ProtectionLimits();
    values.insert("ovp", Volts(fLimits->Voltage));
    values.insert("ocp", Amps(fLimits->Current));
    SetAvailable(true);
    if (values == fLastState && !due) return;
    Publish("state", StateJson(values, QDateTime::currentDateTime()), true);
    fLastState = values;
    fSincePublished.start();
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

void TMqttBridge::Message(const TMqttMessage& aMessage) {
  const QString commands = Prefix() + "/set/";
  if (fHeld || !aMessage.Topic.startsWith(commands)) return;
  // Nothing to do, and what clearing a retained command brings back.
  if (aMessage.Payload.isEmpty()) return;
  // A retained command was meant for some time ago: carried out now it would switch the output
  // on at a bridge restart, a broker restart or a reconnect. It is cleared so it does not come
  // back.
  if (aMessage.Retained) {
    fClient.Publish(aMessage.Topic, {}, true);
    Publish("result", RetainedRefusal(), false);
    return;
  }
  const QString what = aMessage.Topic.mid(commands.size());
  if (!Known(what)) {
    Publish(
        "result",
        QString("unknown command set/%1; nothing was written").arg(Echo(what.toUtf8())).toUtf8(),
        false);
    return;
  }
  if (aMessage.Payload.size() > kLongestValue) {
    Publish("result",
            QString("set/%1 does not take \"%2\"; nothing was written")
                .arg(what, Echo(aMessage.Payload))
                .toUtf8(),
            false);
    return;
  }
  fCommands.Add({what, QString::fromUtf8(aMessage.Payload).trimmed()});
  ScheduleCommand();
}

void TMqttBridge::ScheduleCommand() {
  if (fCommandQueued || fCommands.Empty()) return;
  fCommandQueued = true;
  fJobs.Post([this] {
    fCommandQueued = false;
    RunNextCommand();
  });
}

void TMqttBridge::RunNextCommand() {
  const std::optional<TMqttCommand> command = fCommands.Take();
  if (!command) return;
  const QString refusal = RunCommand(*command);
  Publish("result", refusal.isEmpty() ? QByteArray("ok") : refusal.toUtf8(), false);
  // The dashboard sees the change at once; a command still waiting comes after this one
  // reading, not after every one.
  if (refusal.isEmpty()) Tick();
  ScheduleCommand();
}

QString TMqttBridge::RunProtectionLimit(const TMqttCommand& aCommand) {
  const bool volts = aCommand.What == "ovp";
  // As the supply's menu allows: from 0.10 V to the model's limit, and from the smallest
  // current step to a little above the model's current limit.
  const uint32_t low = volts ? 10 : 1;
  const auto high = static_cast<uint32_t>(volts ? ModelUmax : ModelImax + 10 * CurrentDivider);
  bool ok = false;
  const double v = aCommand.Value.toDouble(&ok);
  const std::optional<uint32_t> units = !ok     ? std::nullopt
                                        : volts ? VoltageUnits(v)
                                                : CurrentUnits(v);
  if (!units || *units < low || *units > high)
    return QString("set/%1 takes %2 to %3 %4, not \"%5\"; nothing was written")
        .arg(aCommand.What, volts ? VoltsText(low) : AmpsText(low),
             volts ? VoltsText(high) : AmpsText(high), volts ? "V" : "A",
             Echo(aCommand.Value.toUtf8()));
  if (volts)
    fSupply.WriteProtectionLimits(units, std::nullopt);
  else
    fSupply.WriteProtectionLimits(std::nullopt, units);
  fLimits.reset();
  return {};
}

QString TMqttBridge::RunCommand(const TMqttCommand& aCommand) {
  const QString& what = aCommand.What;
  const QString& value = aCommand.Value;
  try {
    const TSupply& supply = fSupply.Identified();
    const QString model = supply.Caption.section(QChar(0x20), 0, 0);
    if (what == "voltage" || what == "current") {
      bool ok = false;
      const double v = value.toDouble(&ok);  // "." decimals whatever the locale
      if (!ok || !std::isfinite(v) || v < 0)
        return QString("set/%1 takes a number of %2, not \"%3\"; nothing was written")
            .arg(what, what == "voltage" ? "volts" : "amperes", Echo(value.toUtf8()));
      const TSetPointCheck c = what == "voltage" ? CheckVoltage(v, model) : CheckCurrent(v, model);
      if (!c.Units) return c.Refusal;
      if (what == "voltage")
        fSupply.WriteSetPoint(c.Units, std::nullopt);
      else
        fSupply.WriteSetPoint(std::nullopt, c.Units);
      return {};
    }
    if (what == "ovp" || what == "ocp") return RunProtectionLimit(aCommand);
    const QString word = value.toUpper();
    if (word != "ON" && word != "OFF")
      return QString("set/%1 takes ON or OFF, not \"%2\"; nothing was written")
          .arg(what, Echo(value.toUtf8()));
    if (what == "output")
      fSupply.WriteOutput(word == "ON");
    else
      fSupply.WriteKeyLock(word == "ON");
    return {};
  } catch (const TSupplyFailure& failure) {
    SetAvailable(false, failure.Why);
    return "the supply did not take it: " + failure.Why;
  }
}
