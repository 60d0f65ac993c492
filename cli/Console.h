#pragma once
// What kelvora-cli prints: results on stdout, errors on stderr, each line flushed at once so
// that a pipe sees it when it happens; and the exit status.

#include "cli/SyncMaster.h"

#include <QJsonObject>
#include <QString>

enum TExitCode : int { kExitOk = 0, kExitFailed = 1, kExitUsage = 2 };

void PrintLine(const QString& aLine);
void PrintJson(const QJsonObject& aObject);
// "kelvora-cli: <text>" on stderr.
void PrintError(const QString& aText);

// Reports a failed exchange with the library's text: "<what>: <text>"; returns kExitFailed.
int ReportFailure(const QString& aWhat, const TCallResult& aResult);
