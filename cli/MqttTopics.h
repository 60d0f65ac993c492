#pragma once
// What the bridge publishes, as pure functions of the supply and the bench: its identity on the
// broker, the retained `state`, and Home Assistant's discovery configurations.

#include "cli/SupplyIdentity.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <utility>
#include <vector>

// "kelvora/KPX5005-1"
QString DefaultMqttPrefix(const TSupply& aSupply, uint8_t aSlave);
// Why a prefix cannot be used, or empty: one that starts with '$' (the broker's own topics) or
// holds a wildcard, a control character, an empty level or a trailing '/'.
QString MqttPrefixProblem(const QString& aPrefix);
// The prefix's last level, which names the device by default: "lab/bench1" -> "bench1".
QString DefaultMqttName(const QString& aPrefix);
// The bench on the broker, from the whole prefix: two benches of one model and slave under two
// prefixes are two devices. Letters, digits, '_' and '-' only, as Home Assistant's ids take.
QString MqttNodeId(const QString& aPrefix);
// One client id per host and bench, so that two bridges never take over each other's session.
QString MqttClientId(const QString& aHostName, const QString& aPrefix);

// The values of one reading: set and measured values, power, output, CV/CC, protection, input
// voltage, key lock, and the temperature where the model shows one (the bridge adds the
// protection limits).
QJsonObject StateValues(const TSupply& aSupply, const TCurrentSet& aData);
// One retained `state` message: the values and the time of the reading.
QByteArray StateJson(const QJsonObject& aValues, const QDateTime& aTime);

struct TDiscoverySettings {
  QString Prefix;  // the bench's MQTT prefix
  QString Name;    // the device's name in the dashboard
  uint8_t Slave = 1;
  QString DiscoveryPrefix = "homeassistant";
};

// Topic and retained payload of each discovery configuration: sensors for the readings, CV/CC,
// protection and the last command's result; switches for the output and the key lock; numbers
// for the set values and the protection limits.
std::vector<std::pair<QString, QByteArray>> DiscoveryConfigs(const TSupply& aSupply,
                                                             const TDiscoverySettings& aBench);
// Every configuration topic the bridge may publish for this bench, whatever the model.
QStringList DiscoveryTopics(const TDiscoverySettings& aBench);
