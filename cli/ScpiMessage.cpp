#include "cli/ScpiMessage.h"

namespace {

bool IsMnemonicChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Splits at aSeparator outside quoted strings; false when a quote is never closed.
bool SplitOutsideQuotes(const QByteArray& aText, char aSeparator, std::vector<QByteArray>& aParts) {
  QByteArray part;
  char quote = 0;
  for (const char c : aText) {
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == aSeparator) {
      aParts.push_back(part);
      part.clear();
      continue;
    }
    part.append(c);
  }
  aParts.push_back(part);
  return quote == 0;
}

TScpiError Syntax() { return {-102, "Syntax error"}; }

// One message unit: header, then blanks and the parameters. aPath is the subsystem path the
// previous unit left, for a header that continues in it.
std::optional<TScpiError> ParseUnit(const QByteArray& aText, QStringList& aPath, TScpiUnit& aUnit) {
  qsizetype i = 0;
  const qsizetype n = aText.size();
  while (i < n && IsBlank(aText[i])) ++i;
  if (i == n) return Syntax();
  qsizetype headerEnd = i;
  while (headerEnd < n && !IsBlank(aText[headerEnd])) ++headerEnd;
  QByteArray header = aText.mid(i, headerEnd - i);
  if (header.endsWith('?')) {
    aUnit.Query = true;
    header.chop(1);
  }
  if (header.startsWith('*')) {
    aUnit.Common = true;
    const QByteArray name = header.mid(1);
    if (name.isEmpty() || !IsLetter(name[0])) return Syntax();
    for (const char c : name)
      if (!IsLetter(c)) return Syntax();
    aUnit.Nodes = QStringList{QString::fromLatin1(name)};
  } else {
    const bool absolute = header.startsWith(':');
    if (absolute) header.remove(0, 1);
    QStringList nodes = absolute ? QStringList{} : aPath;
    for (const QByteArray& node : header.split(':')) {
      if (node.isEmpty() || !IsLetter(node[0])) return Syntax();
      for (const char c : node)
        if (!IsMnemonicChar(c)) return Syntax();
      nodes << QString::fromLatin1(node);
    }
    aUnit.Nodes = nodes;
    aPath = nodes.mid(0, nodes.size() - 1);
  }
  const QByteArray rest = aText.mid(headerEnd).trimmed();
  if (rest.isEmpty()) return std::nullopt;
  std::vector<QByteArray> parameters;
  SplitOutsideQuotes(rest, ',', parameters);
  for (const QByteArray& p : parameters) {
    const QByteArray value = p.trimmed();
    if (value.isEmpty()) return Syntax();
    aUnit.Parameters << QString::fromLatin1(value);
  }
  return std::nullopt;
}

}  // namespace

TScpiMessage ParseScpiMessage(const QByteArray& aLine) {
  TScpiMessage message;
  for (const char c : aLine) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte < 0x20 && c != '\t') || byte >= 0x7F) {
      message.Error = TScpiError{-101, "Invalid character"};
      return message;
    }
  }
  if (aLine.trimmed().isEmpty()) return message;
  std::vector<QByteArray> units;
  if (!SplitOutsideQuotes(aLine, ';', units)) {
    message.Error = TScpiError{-150, "String data error"};
    return message;
  }
  // A ';' that ends the line ends the last unit.
  if (units.size() > 1 && units.back().trimmed().isEmpty()) units.pop_back();
  QStringList path;
  for (const QByteArray& text : units) {
    TScpiUnit unit;
    if (auto error = ParseUnit(text, path, unit)) {
      message.Error = error;
      return message;
    }
    message.Units.push_back(unit);
  }
  return message;
}
