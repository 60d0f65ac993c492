#pragma once
// Whether a requested set value may be written to the identified model: its register units, or
// the reason it is refused ("31.01 V is above the KPX3005 limit of 31.00 V; nothing was
// written"). The command line and the MQTT bridge refuse alike.

#include <QString>

#include <cstdint>
#include <optional>

struct TSetPointCheck {
  std::optional<uint32_t> Units;
  QString Refusal;  // set when Units is empty
};

// aModel is the caption's model name ("KPX5005").
TSetPointCheck CheckVoltage(double aVolts, const QString& aModel);
TSetPointCheck CheckCurrent(double aAmps, const QString& aModel);
