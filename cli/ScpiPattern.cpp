#include "cli/ScpiPattern.h"

TScpiPattern::TScpiPattern(const QString& aNotation) {
  QString mnemonic;
  bool optional = false;
  const auto close = [&] {
    if (mnemonic.isEmpty()) return;
    TNode node;
    for (const QChar c : mnemonic)
      if (c.isUpper()) node.Short += c;
    node.Long = mnemonic.toUpper();
    node.Optional = optional;
    fNodes.push_back(node);
    mnemonic.clear();
  };
  for (const QChar c : aNotation) {
    if (c == '[') {
      close();
      optional = true;
    } else if (c == ']') {
      close();
      optional = false;
    } else if (c == ':') {
      close();
    } else {
      mnemonic += c;
    }
  }
  close();
}

bool TScpiPattern::Matches(const QStringList& aNodes) const { return MatchFrom(0, 0, aNodes); }

bool TScpiPattern::MatchFrom(size_t aNode, qsizetype aHeader, const QStringList& aNodes) const {
  if (aNode == fNodes.size()) return aHeader == aNodes.size();
  const TNode& node = fNodes[aNode];
  if (node.Optional && MatchFrom(aNode + 1, aHeader, aNodes)) return true;
  if (aHeader == aNodes.size()) return false;
  const QString given = aNodes[aHeader].toUpper();
  return (given == node.Short || given == node.Long) && MatchFrom(aNode + 1, aHeader + 1, aNodes);
}
