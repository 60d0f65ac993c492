#include "cli/MqttTopics.h"

#include "cli/Readout.h"
#include "cli/Units.h"
#include "core/ModelIdentity.h"
#include "core/UtilUnit.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>

namespace {

QString ModelName(const TSupply& aSupply) { return QString("KPX%1").arg(aSupply.Data.MODEL); }

QByteArray Compact(const QJsonObject& aObject) {
  return QJsonDocument(aObject).toJson(QJsonDocument::Compact);
}

// What Home Assistant shows for the bench; each entry is one configuration.
enum class TKind { Sensor, Switch, Number };
struct TEntity {
  TKind Kind;
  const char *Object, *Name;
  const char* Field;  // of the state; empty for the result sensor
  const char *Unit, *DeviceClass;
  bool TemperatureOnly = false;
};
const std::vector<TEntity>& Entities() {
  static const std::vector<TEntity> entities{
      {TKind::Sensor, "voltage", "Output voltage", "voltage", "V", "voltage"},
      {TKind::Sensor, "current", "Output current", "current", "A", "current"},
      {TKind::Sensor, "power", "Output power", "power", "W", "power"},
      {TKind::Sensor, "input_voltage", "Input voltage", "input_voltage", "V", "voltage"},
      {TKind::Sensor, "temperature", "Temperature", "temperature_c", "°C", "temperature", true},
      {TKind::Sensor, "mode", "Regulation", "mode", nullptr, "enum"},
      {TKind::Sensor, "protection", "Protection", "protection", nullptr, nullptr},
      {TKind::Sensor, "result", "Last command", "", nullptr, nullptr},
      {TKind::Switch, "output", "Output", "output", nullptr, nullptr},
      {TKind::Switch, "lock", "Key lock", "lock", nullptr, nullptr},
      {TKind::Number, "set_voltage", "Set voltage", "set_voltage", "V", "voltage"},
      {TKind::Number, "set_current", "Set current", "set_current", "A", "current"},
      {TKind::Number, "ovp", "Over-voltage limit", "ovp", "V", "voltage"},
      {TKind::Number, "ocp", "Over-current limit", "ocp", "A", "current"},
  };
  return entities;
}

QString Component(TKind aKind) {
  return aKind == TKind::Sensor ? "sensor" : aKind == TKind::Switch ? "switch" : "number";
}

QString ConfigTopic(const TDiscoverySettings& aBench, const TEntity& aEntity) {
  return QString("%1/%2/%3/%4/config")
      .arg(aBench.DiscoveryPrefix, Component(aEntity.Kind), MqttNodeId(aBench.Prefix),
           aEntity.Object);
}

// The command topic of a switch or number: set/output, set/lock, set/voltage, set/current.
// Home Assistant's entity ids take lower-case letters, digits and '_'.
QString EntityId(const QString& aComponent, const QString& aId) {
  QString slug = aId.toLower();
  slug.replace('-', '_');
  return aComponent + "." + slug;
}

QString CommandOf(const TEntity& aEntity) {
  QString what = aEntity.Field;
  if (what.startsWith("set_")) what = what.mid(4);
  return "set/" + what;
}

}  // namespace

QString DefaultMqttPrefix(const TSupply& aSupply, uint8_t aSlave) {
  return QString("kelvora/%1-%2").arg(ModelName(aSupply)).arg(aSlave);
}

QString MqttPrefixProblem(const QString& aPrefix) {
  if (aPrefix.isEmpty()) return "an MQTT prefix cannot be empty";
  if (aPrefix.startsWith('$')) return "a prefix starting with $ is the broker's own";
  for (const QChar c : aPrefix)
    if (c.unicode() < 0x20 || c.unicode() == 0x7F || c.category() == QChar::Other_Control)
      return "a prefix cannot hold control characters";
  if (aPrefix.contains('+') || aPrefix.contains('#')) return "a prefix cannot hold + or #";
  if (aPrefix.endsWith('/') || aPrefix.startsWith('/') || aPrefix.contains("//"))
    return "a prefix cannot have an empty level";
  return {};
}

QString DefaultMqttName(const QString& aPrefix) { return aPrefix.section('/', -1); }

QString MqttNodeId(const QString& aPrefix) {
  QString id = "kelvora_";  // beside other programs' devices on the same broker
  bool exact = true;  // the prefix can be read back from the id
  for (const QChar c : aPrefix) {
    const bool plain =
        (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
    id += plain ? c : QChar('_');
    exact = exact && (plain || c == '/');
  }
  // "lab/bench_1" and "lab/bench/1" would meet at "lab_bench_1" otherwise.
  if (!exact)
    id +=
        "_" + QCryptographicHash::hash(aPrefix.toUtf8(), QCryptographicHash::Sha1).toHex().left(8);
  return id;
}

QString MqttClientId(const QString& aHostName, const QString& aPrefix) {
  return QString("kelvora-%1-%2").arg(aHostName, aPrefix);
}

QJsonObject StateValues(const TSupply& aSupply, const TCurrentSet& aData) {
  QJsonObject o = ReadoutJson(aData);
  o.insert("lock", aData.LOCK != 0);
  if (aSupply.Model.Temp) o.insert("temperature_c", static_cast<int>(aData.TMP));
  return o;
}

QByteArray StateJson(const QJsonObject& aValues, const QDateTime& aTime) {
  QJsonObject o = aValues;
  o.insert("time", aTime.toOffsetFromUtc(aTime.offsetFromUtc()).toString(Qt::ISODateWithMs));
  return Compact(o);
}

std::vector<std::pair<QString, QByteArray>> DiscoveryConfigs(const TSupply& aSupply,
                                                             const TDiscoverySettings& aBench) {
  const QString node = MqttNodeId(aBench.Prefix);
  const QString state = aBench.Prefix + "/state";
  const QJsonObject device{{"identifiers", QJsonArray{node}},
                           {"name", aBench.Name},
                           {"manufacturer", "ardentix"},
                           {"model", ModelName(aSupply)},
                           {"sw_version", VersionText(aSupply.Data.VERSION)}};
  const QJsonObject origin{{"name", "kelvora-cli"}, {"sw_version", KELVORA_VERSION}};
  std::vector<std::pair<QString, QByteArray>> configs;
  for (const TEntity& e : Entities()) {
    if (e.TemperatureOnly && !aSupply.Model.Temp) continue;
    const QString id = node + "_" + e.Object;
    QJsonObject c{{"name", e.Name},
                  {"unique_id", id},
                  // Home Assistant 2025.10 and later take default_entity_id; older ones object_id.
                  {"default_entity_id", EntityId(Component(e.Kind), id)},
                  {"object_id", id},
                  {"availability_topic", aBench.Prefix + "/availability"},
                  {"device", device},
                  {"origin", origin}};
    const QString field = e.Field;
    if (field.isEmpty()) {
      c.insert("state_topic", aBench.Prefix + "/result");
      c.insert("entity_category", "diagnostic");
    } else {
      c.insert("state_topic", state);
    }
    if (e.Unit) c.insert("unit_of_measurement", e.Unit);
    if (e.DeviceClass) c.insert("device_class", e.DeviceClass);
    switch (e.Kind) {
      case TKind::Sensor:
        if (field.isEmpty()) break;
        c.insert("value_template", QString("{{ value_json.%1 }}").arg(field));
        if (e.Unit) c.insert("state_class", "measurement");
        if (field == "mode") c.insert("options", QJsonArray{"CV", "CC"});
        break;
      case TKind::Switch:
        c.insert("command_topic", aBench.Prefix + "/" + CommandOf(e));
        c.insert("value_template", QString("{{ 'ON' if value_json.%1 else 'OFF' }}").arg(field));
        c.insert("payload_on", "ON");
        c.insert("payload_off", "OFF");
        break;
      case TKind::Number: {
        const bool volts = QString(e.Unit) == "V";
        const bool limit = field == "ovp" || field == "ocp";
        // The protection limits as the supply's menu takes them.
        const double low = !limit ? 0 : volts ? Volts(10) : Amps(1);
        const double high =
            volts ? Volts(ModelUmax) : Amps(ModelImax + (limit ? 10 * CurrentDivider : 0));
        c.insert("command_topic", aBench.Prefix + "/" + CommandOf(e));
        c.insert("value_template", QString("{{ value_json.%1 }}").arg(field));
        c.insert("min", low);
        c.insert("max", high);
        c.insert("step", volts ? 0.01 : Amps(1));
        c.insert("mode", "box");
        break;
      }
    }
    configs.emplace_back(ConfigTopic(aBench, e), Compact(c));
  }
  return configs;
}

QStringList DiscoveryTopics(const TDiscoverySettings& aBench) {
  QStringList topics;
  for (const TEntity& e : Entities()) topics << ConfigTopic(aBench, e);
  return topics;
}
