#include "advanced/HelpPages.h"

#include <QString>

QUrl HelpPageUrl(const char* aPath) {
  QString name = QString::fromLatin1(aPath);
  name.remove('/');
  return QUrl(QStringLiteral("qrc:/help/%1.html").arg(name));
}
