#pragma once
// The commands waiting for the supply link: one per topic, since only the newest set point
// matters, and switching the output off goes ahead of every set point waiting. A dashboard that
// sends thousands of values while the link is slow leaves at most one of each waiting.

#include <QString>

#include <optional>
#include <vector>

struct TMqttCommand {
  QString What;  // the topic below set/: voltage, current, output, lock
  QString Value;
};

class TMqttCommandQueue {
 public:
  // A newer value replaces the one waiting on the same topic, in its place.
  void Add(const TMqttCommand& aCommand);
  // The next command to carry out: output OFF first, else the oldest.
  std::optional<TMqttCommand> Take();
  bool Empty() const { return fWaiting.empty(); }
  size_t Size() const { return fWaiting.size(); }

 private:
  std::vector<TMqttCommand> fWaiting;  // in arrival order, at most one per topic
};
