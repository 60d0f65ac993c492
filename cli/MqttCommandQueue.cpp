#include "cli/MqttCommandQueue.h"

#include <algorithm>

void TMqttCommandQueue::Add(const TMqttCommand& aCommand) {
  const auto same = std::find_if(fWaiting.begin(), fWaiting.end(),
                                 [&](const TMqttCommand& c) { return c.What == aCommand.What; });
  if (same != fWaiting.end())
    same->Value = aCommand.Value;
  else
    fWaiting.push_back(aCommand);
}

std::optional<TMqttCommand> TMqttCommandQueue::Take() {
  if (fWaiting.empty()) return std::nullopt;
  auto next = std::find_if(fWaiting.begin(), fWaiting.end(), [](const TMqttCommand& c) {
    return c.What == "output" && c.Value.compare("OFF", Qt::CaseInsensitive) == 0;
  });
  if (next == fWaiting.end()) next = fWaiting.begin();
  TMqttCommand command = *next;
  fWaiting.erase(next);
  return command;
}
