#include "advanced/CalibPicture.h"

#include <QPainter>
#include <QPolygon>

#include <initializer_list>

namespace {

constexpr int kLeadWidth = 6;

void DrawLead(QPainter& aPainter, QColor aColor, std::initializer_list<QPoint> aPoints) {
  aPainter.setPen(QPen(aColor, kLeadWidth, Qt::SolidLine));
  aPainter.drawPolyline(QPolygon(QList<QPoint>(aPoints)));
}

// Both output groups share the black lead to the meter's common jack.
void DrawOutputBlackLead(QPainter& aPainter) {
  DrawLead(aPainter, Qt::black, {{375, 85}, {430, 85}, {430, 145}, {500, 145}});
}

}  // namespace

// The pictures travel in the core library's resources, which a static link leaves out unless
// they are asked for by name.
QPixmap Picture(const char* aPath) {
  static const bool registered = [] {
    Q_INIT_RESOURCE(resources);
    return true;
  }();
  (void)registered;
  return QPixmap(QString::fromLatin1(aPath));
}

QPixmap LoadCalibPicture() { return Picture(":/pictures/calib.png"); }

QPixmap LoadThermometerPicture() { return Picture(":/pictures/thermometer.png"); }

void DrawUinWiring(QPixmap& aImage) {
  QPainter painter(&aImage);
  DrawLead(painter, Qt::red, {{210, 45}, {210, 15}, {450, 15}, {450, 123}, {500, 123}});
  DrawLead(painter, Qt::black, {{210, 85}, {210, 115}, {430, 115}, {430, 145}, {500, 145}});
}

void DrawUoutWiring(QPixmap& aImage) {
  QPainter painter(&aImage);
  DrawLead(painter, Qt::red, {{375, 45}, {460, 45}, {460, 123}, {500, 123}});
  DrawOutputBlackLead(painter);
}

void DrawIoutWiring(QPixmap& aImage) {
  QPainter painter(&aImage);
  DrawLead(painter, Qt::red, {{375, 45}, {460, 45}, {460, 100}, {500, 100}});
  DrawOutputBlackLead(painter);
}
