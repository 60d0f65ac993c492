#include "cli/Console.h"

#include <QJsonDocument>

#include <cstdio>

void PrintLine(const QString& aLine) {
  std::fputs(aLine.toUtf8().constData(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void PrintJson(const QJsonObject& aObject) {
  PrintLine(QString::fromUtf8(QJsonDocument(aObject).toJson(QJsonDocument::Compact)));
}

void PrintError(const QString& aText) {
  std::fprintf(stderr, "kelvora-cli: %s\n", aText.toUtf8().constData());
  std::fflush(stderr);
}

int ReportFailure(const QString& aWhat, const TCallResult& aResult) {
  PrintError(aWhat + ": " + aResult.Text());
  return kExitFailed;
}
