#include "tests/logging/XlsxPackage.h"

#include <QProcess>
#include <QStandardPaths>
#include <QXmlStreamReader>

#include <vector>

namespace {
QString Attribute(const QXmlStreamReader& xml, const char* name) {
  return xml.attributes().value(QLatin1String(name)).toString();
}

// The format codes that spreadsheets know by number without listing them.
QString BuiltInFormat(int id) {
  static const std::map<int, QString> formats{{0, "General"}, {1, "0"},       {2, "0.00"},
                                              {3, "#,##0"},   {4, "#,##0.00"}, {49, "@"}};
  const auto found = formats.find(id);
  return found == formats.end() ? QString("builtin %1").arg(id) : found->second;
}

// Format code of every cell style index (cellXfs order).
std::vector<QString> StyleFormats(const QString& package) {
  std::map<int, QString> custom;
  std::vector<QString> styles;
  QXmlStreamReader xml(PackagePart(package, "xl/styles.xml"));
  bool inCellXfs = false;
  while (!xml.atEnd()) {
    xml.readNext();
    if (xml.isStartElement() && xml.name() == u"numFmt")
      custom[Attribute(xml, "numFmtId").toInt()] = Attribute(xml, "formatCode");
    if (xml.name() == u"cellXfs") inCellXfs = xml.isStartElement();
    if (inCellXfs && xml.isStartElement() && xml.name() == u"xf") {
      const int id = Attribute(xml, "numFmtId").toInt();
      styles.push_back(custom.count(id) ? custom[id] : BuiltInFormat(id));
    }
  }
  return styles;
}

QStringList SharedStrings(const QString& package) {
  QStringList strings;
  QXmlStreamReader xml(PackagePart(package, "xl/sharedStrings.xml"));
  while (!xml.atEnd()) {
    xml.readNext();
    if (xml.isStartElement() && xml.name() == u"si") strings << QString();
    if (xml.isStartElement() && xml.name() == u"t" && !strings.isEmpty())
      strings.back() += xml.readElementText();
  }
  return strings;
}
}  // namespace

bool UnzipAvailable() { return !QStandardPaths::findExecutable("unzip").isEmpty(); }

QByteArray PackagePart(const QString& package, const QString& part) {
  QProcess unzip;
  unzip.start("unzip", {"-p", package, part});
  if (!unzip.waitForFinished(30000) || unzip.exitCode() != 0) return {};
  return unzip.readAllStandardOutput();
}

QStringList SheetNames(const QString& package) {
  QStringList names;
  QXmlStreamReader xml(PackagePart(package, "xl/workbook.xml"));
  while (!xml.atEnd()) {
    xml.readNext();
    if (xml.isStartElement() && xml.name() == u"sheet") names << Attribute(xml, "name");
  }
  return names;
}

std::map<QString, TSheetCell> FirstSheetCells(const QString& package) {
  return WorksheetCells(package, 1);
}

std::map<QString, TSheetCell> WorksheetCells(const QString& package, int number) {
  const std::vector<QString> styles = StyleFormats(package);
  const QStringList strings = SharedStrings(package);
  std::map<QString, TSheetCell> cells;
  QXmlStreamReader xml(PackagePart(package, QString("xl/worksheets/sheet%1.xml").arg(number)));
  QString ref;
  QString type;
  while (!xml.atEnd()) {
    xml.readNext();
    if (!xml.isStartElement()) continue;
    if (xml.name() == u"c") {
      ref = Attribute(xml, "r");
      type = Attribute(xml, "t");
      const int style = Attribute(xml, "s").toInt();
      TSheetCell& cell = cells[ref];
      cell.NumberFormat = style < static_cast<int>(styles.size()) ? styles[style] : "?";
      cell.IsString = type == "s" || type == "inlineStr" || type == "str";
    } else if (xml.name() == u"v" || xml.name() == u"t") {
      const QString text = xml.readElementText();
      cells[ref].Text = type == "s" ? strings.value(text.toInt()) : text;
    }
  }
  return cells;
}
