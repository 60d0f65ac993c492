#include "core/UtilUnit.h"

#include <algorithm>
#include <cstdlib>

int32_t ModelUmax = 5100;
int32_t ModelImax = 2010;
int32_t ModelPmax = 9999;
int32_t CurrentDivider = 1;

void ResetModelVariables() {
  ModelUmax = 5100;
  ModelImax = 2010;
  ModelPmax = 9999;
  CurrentDivider = 1;
}

uint32_t& RegisterField(TCurrentSet& data, int reg) {
  // The 32 wide fields are laid out without padding, in register order.
  return (&data.USET)[std::clamp(reg, 0, 31)];
}

uint16_t& CommandField(TCurrentSet& data, int reg) {
  return (&data.CMD)[std::clamp(reg, 32, 47) - 32];
}

void StoreRegister(TCurrentSet& data, int reg, uint16_t value) {
  if (reg < 0 || reg > 47) return;
  if (reg < 32)
    RegisterField(data, reg) = value;
  else
    CommandField(data, reg) = value;
}

uint32_t& MemoryField(TMemorySet& memory, int offset) {
  return (&memory.USET)[std::clamp(offset, 0, 15)];
}

std::optional<TModelLimits> FindModel(uint32_t model) {
  for (const auto& entry : kModelTable)
    if (entry.Model == model) return entry;
  return std::nullopt;
}

bool IsKnownModel(uint32_t model) { return FindModel(model).has_value(); }

uint32_t Rgb565ToColor(uint16_t word) {
  const uint32_t red = (word >> 8) & 0xF8;
  const uint32_t green = (word >> 3) & 0xFC;
  const uint32_t blue = (word << 3) & 0xF8;
  const uint32_t color = red + green * 256 + blue * 65536;
  // RGB565 cannot hold full intensity; the pure colours come back as the user picked them.
  switch (color) {
    case 0x0000F8: return 0x0000FF;
    case 0x00FC00: return 0x00FF00;
    case 0xF80000: return 0xFF0000;
    case 0x00FCF8: return 0x00FFFF;
    case 0xF800F8: return 0xFF00FF;
    case 0xF8FC00: return 0xFFFF00;
    case 0xF8FCF8: return 0xFFFFFF;
    default: return color;
  }
}

uint16_t ColorToRgb565(uint32_t color) {
  const uint32_t red = color & 0xFF;
  const uint32_t green = (color >> 8) & 0xFF;
  const uint32_t blue = (color >> 16) & 0xFF;
  return static_cast<uint16_t>(((red & 0xF8) << 8) | ((green & 0xFC) << 3) | ((blue & 0xF8) >> 3));
}

uint32_t DarkenColor(uint32_t color) {
  const uint32_t red = (color & 0xFF) / 2;
  const uint32_t green = ((color >> 8) & 0xFF) / 2;
  const uint32_t blue = ((color >> 16) & 0xFF) / 2;
  return red | (green << 8) | (blue << 16);
}

void FormatFixed(QString& text, uint32_t value, int pointPos) {
  uint32_t weight = 100000;
  for (int position = 6; position >= 1; --position, weight /= 10) {
    // The top position takes whatever is left, so values above 999999 are not cut.
    const uint32_t digit = value / weight;
    value %= weight;
    if (position <= pointPos || digit != 0 || !text.isEmpty()) text += QString::number(digit);
    if (position == pointPos && position > 1) text += '.';
  }
}

QString FormatFixed(uint32_t value, int pointPos) {
  QString text;
  FormatFixed(text, value, pointPos);
  return text;
}

void FormatMinutes(QString& text, uint32_t minutes) {
  static constexpr uint32_t kWeights[6] = {60000, 6000, 600, 60, 10, 1};
  // Tens of minutes run 0..5 and hour digits 0..9, so each weight splits off one digit.
  bool started = false;
  for (int k = 0; k < 6; ++k) {
    const uint32_t digit = minutes / kWeights[k];
    minutes %= kWeights[k];
    if (k < 3 && digit == 0 && !started) continue;
    started = true;
    text += QString::number(digit);
    if (kWeights[k] == 60) text += ':';
  }
}

QString FormatMinutes(uint32_t minutes) {
  QString text;
  FormatMinutes(text, minutes);
  return text;
}

int32_t MulDiv(int32_t number, int32_t numerator, int32_t denominator) {
  if (denominator == 0) return -1;
  const int64_t product = static_cast<int64_t>(number) * numerator;
  const int64_t magnitude = std::llabs(product);
  const int64_t divisor = std::llabs(static_cast<int64_t>(denominator));
  int64_t quotient = (magnitude + divisor / 2) / divisor;
  if ((product < 0) != (denominator < 0)) quotient = -quotient;
  if (quotient > INT32_MAX || quotient < INT32_MIN) return -1;
  return static_cast<int32_t>(quotient);
}

namespace {

bool IsBlank(QChar c) { return c == ' ' || c == '\t'; }

void SkipBlanks(const QString& text, qsizetype& pos) {
  while (pos < text.size() && IsBlank(text[pos])) ++pos;
}

// Reads an optional sign and digits; false when no digit was read.
bool ReadInteger(const QString& text, qsizetype& pos, int32_t& out) {
  qsizetype p = pos;
  bool negative = false;
  if (p < text.size() && (text[p] == '-' || text[p] == '+')) negative = text[p++] == '-';
  int64_t value = 0;
  const qsizetype digitsStart = p;
  while (p < text.size() && text[p].isDigit()) {
    value = value * 10 + text[p].digitValue();
    if (value > (int64_t{1} << 32)) value = int64_t{1} << 32;  // saturate, wrap below
    ++p;
  }
  if (p == digitsStart) return false;
  pos = p;
  out = static_cast<int32_t>(static_cast<uint32_t>(negative ? -value : value));
  return true;
}

bool ReadFloat(const QString& text, qsizetype& pos, long double& out) {
  qsizetype p = pos;
  QString number;
  while (p < text.size()) {
    const QChar c = text[p];
    if (c.isDigit() || c == '.' || c == 'E' || c == 'e' || c == '-' || c == '+') {
      number += c;
      ++p;
    } else {
      break;
    }
  }
  bool ok = false;
  const double value = number.toDouble(&ok);
  if (!ok) return false;
  pos = p;
  out = value;
  return true;
}

bool ReadWord(const QString& text, qsizetype& pos, QString& out) {
  const qsizetype start = pos;
  while (pos < text.size() && !IsBlank(text[pos])) ++pos;
  if (pos == start) return false;
  out = text.mid(start, pos - start);
  return true;
}

}  // namespace

int ScanFormatted(const QString& text, const QString& format,
                  std::initializer_list<TScanTarget> targets) {
  int stored = 0;
  auto target = targets.begin();
  qsizetype pos = 0;
  for (qsizetype f = 0; f < format.size() && target != targets.end(); ++f) {
    const QChar c = format[f];
    if (IsBlank(c)) continue;
    if (c == '%' && f + 1 < format.size()) {
      const QChar conversion = format[++f];
      SkipBlanks(text, pos);
      bool read = false;
      if (conversion == 'd') {
        if (auto* p = std::get_if<int32_t*>(&*target)) read = ReadInteger(text, pos, **p);
      } else if (conversion == 'f') {
        if (auto* p = std::get_if<long double*>(&*target)) read = ReadFloat(text, pos, **p);
      } else if (conversion == 's') {
        if (auto* p = std::get_if<QString*>(&*target)) read = ReadWord(text, pos, **p);
      }
      if (!read) break;
      ++stored;
      ++target;
      continue;
    }
    // A literal is searched for from the current position; scanning resumes after it.
    const qsizetype found = text.indexOf(c, pos);
    if (found < 0) break;
    pos = found + 1;
  }
  return stored;
}
