#pragma once
// Reads the simulator's request trace (one JSON object per line) so that a test can check what
// the program sent and in which order.

#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

namespace kelvora::test {

struct TraceEntry {
  double T = 0;     // milliseconds since the simulator started
  QString Dir;      // "req", "ans" or "boot"
  int Fc = -1;
  int Addr = -1;
  int Count = -1;
  int Exc = -1;
  std::vector<int> Values;
};

class SimTrace {
 public:
  explicit SimTrace(QString path) : fPath(std::move(path)) {}
  const QString& Path() const { return fPath; }

  // Everything written so far (a line still being written is left for the next call).
  std::vector<TraceEntry> Entries() const;
  std::vector<TraceEntry> Requests() const;
  // Requests that match; fc 3 reads, 6 single writes, 16 block writes.
  std::vector<TraceEntry> Requests(const std::function<bool(const TraceEntry&)>& match) const;

 private:
  QString fPath;
};

inline bool IsRead(const TraceEntry& e, int addr, int count) {
  return e.Fc == 3 && e.Addr == addr && e.Count == count;
}
inline bool IsWrite(const TraceEntry& e, int addr, int value) {
  return e.Fc == 6 && e.Addr == addr && e.Values.size() == 1 && e.Values[0] == value;
}

}  // namespace kelvora::test
