#include "features/PresetText.h"

namespace {
const QString CR = QString(QChar(13));

int VersionNumber(TVersion version) { return static_cast<int>(version); }

QChar Digit(uint32_t value) { return QChar('0' + static_cast<char>(value % 10)); }
}  // namespace

QString FormatSetValue(uint32_t Value, bool Milliamps) {
  if (Value > 9999) return "-----";
  QString text;
  const uint32_t thousands = Value / 1000;
  text += thousands != 0 || Milliamps ? Digit(thousands) : QChar(' ');
  if (Milliamps) text += '.';
  text += Digit(Value / 100);
  if (!Milliamps) text += '.';
  text += Digit(Value / 10);
  text += Digit(Value);
  return text;
}

QString PresetName(uint32_t mem) {
  return mem < kMemoryPresets ? "M" + QString::number(mem)
                              : "C" + QString::number(mem - kMemoryPresets);
}

QString ProfileCaption(uint32_t mem, TVersion version) {
  const bool profiles = version == TVersion::ver_4Z || version == TVersion::ver_43 ||
                        version == TVersion::ver_New;
  return PresetName(mem) + (profiles ? " Profile" : " Settings");
}

QString SavePresetPrompt(uint32_t mem, uint32_t uset, uint32_t iset, bool milliamps) {
  return "Save " + QString("M") + QString::number(mem) + " profile ?" + CR + "U set = " +
         FormatSetValue(uset, false) + " V" + CR + "I set = " + FormatSetValue(iset, milliamps) +
         " A";
}

QString ChargeText(uint32_t mem) {
  return "Charge Lithium Battery " + QString::number(mem - 9) + " Cell(s)";
}

int ChargePercent(uint32_t uset, uint32_t uout) {
  if (uset < uout) return 100;
  const uint32_t empty = static_cast<uint32_t>(uint64_t{uset} * 300 / 420);
  if (uout < empty || uset == empty) return 0;
  return static_cast<int>(uint64_t{uout - empty} * 100 / (uset - empty));
}

uint32_t DefaultOnStartFlag(TVersion version, bool checked) {
  const int v = VersionNumber(version);
  if (v >= 1 && v <= 3) return checked ? 0x8001 : 0x8000;
  return checked ? 1 : 0;
}

TParameterEnables ParameterEnables(bool enable, TVersion version, uint32_t mem) {
  const int v = VersionNumber(version);
  const bool memory = mem < kMemoryPresets;
  TParameterEnables e{};
  e.Common = enable;
  e.DefaultFlag = enable && !(v >= 1 && v <= 3 && !memory);
  e.Parameters = enable && v >= 1;
  e.Overtime = enable && ((memory && v >= 1) || v >= 4);
  e.PowerFlag = enable && v == 0;
  e.Values = enable && (memory || v >= 4);
  return e;
}
