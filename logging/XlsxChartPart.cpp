#include "logging/XlsxChartPart.h"

#include <QString>

namespace {
// Axis ids of the second group; libxlsxwriter numbers its own 5001nnnn.
const QByteArray kSecondXAxis = "60010001";
const QByteArray kSecondValueAxis = "60010002";

QByteArray AxisTitle(const QByteArray& title) {
  return "<c:title><c:tx><c:rich><a:bodyPr rot=\"-5400000\" vert=\"horz\"/><a:lstStyle/><a:p>"
         "<a:pPr><a:defRPr/></a:pPr><a:r><a:rPr lang=\"en-US\"/><a:t>" +
         QString::fromUtf8(title).toHtmlEscaped().toUtf8() +
         "</a:t></a:r></a:p></c:rich></c:tx><c:layout/></c:title>";
}
}  // namespace

void QuoteSheetInFormulas(QByteArray& chartXml, const QByteArray& sheetName) {
  chartXml.replace("<c:f>" + sheetName + "!", "<c:f>'" + sheetName + "'!");
}

bool MoveLastSeriesToSecondAxis(QByteArray& chartXml, const QByteArray& title) {
  const QByteArray groupEnd = "</c:scatterChart>";
  const qsizetype group = chartXml.indexOf("<c:scatterChart>");
  const qsizetype end = chartXml.indexOf(groupEnd);
  const qsizetype last = chartXml.lastIndexOf("<c:ser>", end);
  const qsizetype lastEnd = chartXml.indexOf("</c:ser>", last);
  const qsizetype firstValueAxisEnd = chartXml.indexOf("</c:valAx>");
  if (group < 0 || end < 0 || last <= chartXml.indexOf("<c:ser>", group) || lastEnd < 0 ||
      lastEnd > end || firstValueAxisEnd < end)
    return false;
  const QByteArray series = chartXml.mid(last, lastEnd + 8 - last);
  const QByteArray secondGroup = "<c:scatterChart><c:scatterStyle val=\"lineMarker\"/>" + series +
                                 "<c:axId val=\"" + kSecondXAxis +
                                 "\"/><c:axId val=\"" + kSecondValueAxis + "\"/>" + groupEnd;
  const QByteArray secondAxes =
      "<c:valAx><c:axId val=\"" + kSecondXAxis +
      "\"/><c:scaling><c:orientation val=\"minMax\"/></c:scaling><c:delete val=\"1\"/>"
      "<c:axPos val=\"b\"/><c:tickLblPos val=\"nextTo\"/><c:crossAx val=\"" +
      kSecondValueAxis +
      "\"/><c:crosses val=\"autoZero\"/><c:crossBetween val=\"midCat\"/></c:valAx>"
      "<c:valAx><c:axId val=\"" +
      kSecondValueAxis +
      "\"/><c:scaling><c:orientation val=\"minMax\"/></c:scaling><c:axPos val=\"r\"/>" +
      AxisTitle(title) +
      "<c:numFmt formatCode=\"General\" sourceLinked=\"1\"/><c:tickLblPos val=\"nextTo\"/>"
      "<c:crossAx val=\"" +
      kSecondXAxis +
      "\"/><c:crosses val=\"max\"/><c:crossBetween val=\"midCat\"/></c:valAx>";
  // Back to front, so the earlier positions stay valid.
  chartXml.insert(firstValueAxisEnd + 10, secondAxes);
  chartXml.insert(end + groupEnd.size(), secondGroup);
  chartXml.remove(last, series.size());
  return true;
}
