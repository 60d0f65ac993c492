#include "cli/MqttTopics.h"

#include "cli/Readout.h"
#include "cli/Units.h"
#include "core/ModelIdentity.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QString ModelName(const TSupply& aSupply) { return QString("KPX%1").arg(aSupply.Data.MODEL); }

// Home Assistant's object ids take letters, digits, '_' and '-'.
QString NodeId(const TSupply& aSupply, uint8_t aSlave) {
  return QString("kelvora_kpx%1_%2").arg(aSupply.Data.MODEL).arg(aSlave);
}

QByteArray Compact(const QJsonObject& aObject) {
  return QJsonDocument(aObject).toJson(QJsonDocument::Compact);
}

}  // namespace

QString DefaultMqttPrefix(const TSupply& aSupply, uint8_t aSlave) {
  return QString("kelvora/%1-%2").arg(ModelName(aSupply)).arg(aSlave);
}

QByteArray StateJson(const TSupply& aSupply, const TCurrentSet& aData, const QDateTime& aTime) {
  QJsonObject o = ReadoutJson(aData);
  o.insert("time", aTime.toOffsetFromUtc(aTime.offsetFromUtc()).toString(Qt::ISODateWithMs));
  if (aSupply.Model.Temp) o.insert("temperature_c", static_cast<int>(aData.TMP));
  return Compact(o);
}

std::vector<std::pair<QString, QByteArray>> DiscoveryConfigs(const TSupply& aSupply,
                                                             uint8_t aSlave,
                                                             const QString& aPrefix) {
  const QString node = NodeId(aSupply, aSlave);
  const QJsonObject device{
      {"identifiers", QJsonArray{node}},
      {"name", QString("%1 (slave %2)").arg(ModelName(aSupply)).arg(aSlave)},
      {"manufacturer", "ardentix"},
      {"model", ModelName(aSupply)},
      {"sw_version", VersionText(aSupply.Data.VERSION)}};
  const auto config = [&](const QString& aName, const QString& aObject) {
    return QJsonObject{{"name", aName},
                       {"unique_id", node + "_" + aObject},
                       {"object_id", node + "_" + aObject},
                       {"state_topic", aPrefix + "/state"},
                       {"availability_topic", aPrefix + "/availability"},
                       {"device", device}};
  };
  std::vector<std::pair<QString, QByteArray>> configs;
  struct TSensor {
    const char *Object, *Name, *Field, *Unit, *DeviceClass;
  };
  std::vector<TSensor> sensors{{"voltage", "Output voltage", "voltage", "V", "voltage"},
                               {"current", "Output current", "current", "A", "current"},
                               {"power", "Output power", "power", "W", "power"},
                               {"input_voltage", "Input voltage", "input_voltage", "V", "voltage"}};
  if (aSupply.Model.Temp)
    sensors.push_back({"temperature", "Temperature", "temperature_c", "°C", "temperature"});
  for (const TSensor& s : sensors) {
    QJsonObject c = config(s.Name, s.Object);
    c.insert("value_template", QString("{{ value_json.%1 }}").arg(s.Field));
    c.insert("unit_of_measurement", s.Unit);
    c.insert("device_class", s.DeviceClass);
    c.insert("state_class", "measurement");
    configs.emplace_back(QString("homeassistant/sensor/%1/%2/config").arg(node, s.Object),
                         Compact(c));
  }
  QJsonObject output = config("Output", "output");
  output.insert("command_topic", aPrefix + "/set/output");
  output.insert("value_template", "{{ 'ON' if value_json.output else 'OFF' }}");
  output.insert("payload_on", "ON");
  output.insert("payload_off", "OFF");
  configs.emplace_back(QString("homeassistant/switch/%1/output/config").arg(node), Compact(output));
  struct TNumber {
    const char *Object, *Name, *Field, *Unit;
    double Max, Step;
  };
  for (const TNumber& n :
       {TNumber{"set_voltage", "Set voltage", "voltage", "V", Volts(ModelUmax), 0.01},
        TNumber{"set_current", "Set current", "current", "A", Amps(ModelImax),
                Amps(1)}}) {
    QJsonObject c = config(n.Name, n.Object);
    c.insert("command_topic", aPrefix + "/set/" + n.Field);
    c.insert("value_template", QString("{{ value_json.%1 }}").arg(n.Object));
    c.insert("unit_of_measurement", n.Unit);
    c.insert("min", 0);
    c.insert("max", n.Max);
    c.insert("step", n.Step);
    c.insert("mode", "box");
    configs.emplace_back(QString("homeassistant/number/%1/%2/config").arg(node, n.Object),
                         Compact(c));
  }
  return configs;
}
