#pragma once
// Reads a spreadsheet package back with tools that share nothing with the writer: the unzip
// program for the parts and an XML reader for their contents.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <map>

bool UnzipAvailable();
// The bytes of one part of the package ("xl/workbook.xml"); empty when it is missing.
QByteArray PackagePart(const QString& package, const QString& part);

// The sheet names of xl/workbook.xml in order.
QStringList SheetNames(const QString& package);

struct TSheetCell {
  QString Text;          // shared or inline string, or the stored number as written
  bool IsString = false;
  QString NumberFormat;  // the format code of the cell's style ("General" when none)
};
// The cells of the first worksheet by reference ("A1", "B2"), blanks included.
std::map<QString, TSheetCell> FirstSheetCells(const QString& package);
// The cells of the worksheet part number (xl/worksheets/sheet<number>.xml).
std::map<QString, TSheetCell> WorksheetCells(const QString& package, int number);
