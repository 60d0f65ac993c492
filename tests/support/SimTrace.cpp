#include "tests/support/SimTrace.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace kelvora::test {

std::vector<TraceEntry> SimTrace::Entries() const {
  std::vector<TraceEntry> entries;
  QFile file(fPath);
  if (!file.open(QIODevice::ReadOnly)) return entries;
  const QList<QByteArray> lines = file.readAll().split('\n');
  for (const QByteArray& line : lines) {
    const QJsonDocument doc = QJsonDocument::fromJson(line);
    if (!doc.isObject()) continue;
    const QJsonObject o = doc.object();
    TraceEntry e;
    e.T = o.value("t").toDouble();
    e.Dir = o.value("dir").toString();
    e.Fc = o.value("fc").toInt(-1);
    e.Addr = o.value("addr").toInt(-1);
    e.Count = o.value("count").toInt(-1);
    e.Exc = o.value("exc").toInt(-1);
    for (const QJsonValue& v : o.value("values").toArray()) e.Values.push_back(v.toInt());
    entries.push_back(std::move(e));
  }
  return entries;
}

std::vector<TraceEntry> SimTrace::Requests() const {
  return Requests([](const TraceEntry&) { return true; });
}

std::vector<TraceEntry> SimTrace::Requests(
    const std::function<bool(const TraceEntry&)>& match) const {
  std::vector<TraceEntry> out;
  for (TraceEntry& e : Entries())
    if (e.Dir == "req" && match(e)) out.push_back(std::move(e));
  return out;
}

}  // namespace kelvora::test
