#include "cli/CsvLog.h"

#include <QDateTime>

TCsvLog::TCsvLog(const QString& aFileName, const QStringList& aHeader) : fFile(aFileName) {
  if (!fFile.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
    fError = aFileName + ": " + fFile.errorString();
    return;
  }
  if (fFile.size() == 0) Write(aHeader);
}

QString TCsvLog::Quoted(const QString& aField) {
  if (!aField.contains(QChar(',')) && !aField.contains(QChar('"')) && !aField.contains(QChar('\n')))
    return aField;
  QString doubled = aField;
  doubled.replace(QChar('"'), QString("\"\""));
  return QChar('"') + doubled + QChar('"');
}

bool TCsvLog::Write(const QStringList& aFields) {
  QStringList quoted;
  for (const QString& f : aFields) quoted << Quoted(f);
  const QByteArray line = (quoted.join(QChar(',')) + QChar('\n')).toUtf8();
  if (fFile.write(line) != line.size() || !fFile.flush()) {
    fError = fFile.fileName() + ": " + fFile.errorString();
    return false;
  }
  return true;
}

QString IsoTimeNow() {
  const QDateTime now = QDateTime::currentDateTime();
  return now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODateWithMs);
}
