#pragma once
// A SCPI header in the standard's notation, "[SOURce:]VOLTage[:LEVel]": each node answers to its
// short form (the capitals) or its long form, in any case; nodes in brackets may be left out.

#include <QString>
#include <QStringList>

#include <vector>

class TScpiPattern {
 public:
  explicit TScpiPattern(const QString& aNotation);

  bool Matches(const QStringList& aNodes) const;

 private:
  struct TNode {
    QString Short, Long;  // upper case
    bool Optional = false;
  };
  bool MatchFrom(size_t aNode, qsizetype aHeader, const QStringList& aNodes) const;

  std::vector<TNode> fNodes;
};
