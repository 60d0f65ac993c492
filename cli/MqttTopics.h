#pragma once
// What the bridge publishes for one supply: the JSON of a reading, and the Home Assistant
// discovery configurations that make the supply appear in a dashboard by itself.

#include "cli/SupplyIdentity.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <utility>
#include <vector>

// "kelvora/KPX5005-1"
QString DefaultMqttPrefix(const TSupply& aSupply, uint8_t aSlave);

// One retained `state` message: time, set and measured values, power, output, CV/CC,
// protection, input voltage, and the temperature where the model shows one.
QByteArray StateJson(const TSupply& aSupply, const TCurrentSet& aData, const QDateTime& aTime);

// Topic and retained payload of each discovery configuration: sensors for voltage, current,
// power and input voltage (and temperature), a switch for the output, numbers for the set values.
std::vector<std::pair<QString, QByteArray>> DiscoveryConfigs(const TSupply& aSupply,
                                                             uint8_t aSlave,
                                                             const QString& aPrefix);
