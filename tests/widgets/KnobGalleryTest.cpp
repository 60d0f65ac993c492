// Renders the knob in its states to PNG files for a person to look at, and checks that the
// picture shows the indicator where the position puts it.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QTest>

#include <cmath>
#include <numbers>
#include <vector>

#include "tests/widgets/KnobFixture.h"

namespace {

using kelvora::test::MakeKnobPanel;
using kelvora::test::PositionAtAngle;

QString GalleryDir() {
  // Next to the build's bin folder, where the test binary runs from.
  const QString dir = QDir(QCoreApplication::applicationDirPath()).absoluteFilePath("../gallery");
  QDir().mkpath(dir);
  return QDir::cleanPath(dir);
}

QImage Render(QWidget& widget) {
  return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

struct TShot {
  QString Name;
  QImage Image;
};

void Save(QWidget& widget, const QString& name, std::vector<TShot>& sheet) {
  const QString path = GalleryDir() + "/knob_" + name + ".png";
  sheet.push_back({name, Render(widget)});
  ASSERT_TRUE(sheet.back().Image.save(path)) << path.toStdString();
}

// All shots on one page, each with its name below.
void SaveSheet(const std::vector<TShot>& shots) {
  constexpr int kColumns = 4, kCell = 130, kCaption = 18;
  const int rows = int(shots.size() + kColumns - 1) / kColumns;
  QImage page(kColumns * kCell, rows * (kCell + kCaption), QImage::Format_RGB32);
  page.fill(QColor(0x1E, 0x20, 0x24));
  QPainter p(&page);
  p.setPen(Qt::white);
  for (size_t i = 0; i < shots.size(); ++i) {
    const QPoint cell(int(i % kColumns) * kCell, int(i / kColumns) * (kCell + kCaption));
    QImage image = shots[i].Image;
    if (image.width() > kCell || image.height() > kCell)
      image = image.scaled(kCell, kCell, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    p.drawImage(cell + QPoint((kCell - image.width()) / 2, (kCell - image.height()) / 2), image);
    p.drawText(QRect(cell.x(), cell.y() + kCell, kCell, kCaption), Qt::AlignCenter, shots[i].Name);
  }
  p.end();
  ASSERT_TRUE(page.save(GalleryDir() + "/knob_sheet.png"));
}

TEST(KnobGallery, RendersTheKnobInItsStates) {
  std::vector<TShot> sheet;
  auto panel = MakeKnobPanel(95);
  TLN_Knob& knob = *panel.Knob;
  knob.SetLedOn(true);
  for (int angle : {0, 45, 90, 135, 225, 315}) {
    knob.UpdatePosition(PositionAtAngle(knob, angle));
    Save(*panel.Panel, QString("lit_%1").arg(angle, 3, 10, QChar('0')), sheet);
  }
  panel.Panel->show();
  panel.Panel->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(panel.Panel.get()));
  knob.setFocus();
  Save(*panel.Panel, "focused_315", sheet);
  panel.Panel->hide();
  knob.SetLedOn(false);
  Save(*panel.Panel, "unlit_315", sheet);
  knob.setEnabled(false);
  Save(*panel.Panel, "disabled", sheet);
  knob.setEnabled(true);

  knob.SetIndicatorType(TLN_Knob::TIndicatorType::it_Line);
  knob.SetLineLength(14);
  knob.SetLineWidth(3);
  Save(*panel.Panel, "line_315", sheet);
  knob.SetFaceEffect(true);
  knob.SetColor(QColor(0xB8, 0xBC, 0xC2));
  Save(*panel.Panel, "machined_315", sheet);
  knob.SetFace3D(false);
  knob.SetFaceEffect(false);
  Save(*panel.Panel, "plain_315", sheet);

  // A face picture turns with the knob.
  QPixmap picture(64, 64);
  picture.fill(QColor(0x35, 0x5C, 0x8A));
  QPainter painter(&picture);
  painter.fillRect(QRect(28, 0, 8, 64), QColor(0xE8, 0xC5, 0x47));
  painter.end();
  knob.SetKnobImage(picture);
  knob.SetFace3D(true);
  knob.UpdatePosition(PositionAtAngle(knob, 45));
  Save(*panel.Panel, "image_045", sheet);

  auto large = MakeKnobPanel(200);
  large.Knob->SetLedOn(true);
  large.Knob->UpdatePosition(PositionAtAngle(*large.Knob, 300));
  Save(*large.Panel, "large_300", sheet);
  SaveSheet(sheet);
}

// Brightest-orange point of the picture: where the lit lamp is.
QPoint LampCentre(const QImage& image) {
  QPoint best;
  int bestScore = -1;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QColor c = image.pixelColor(x, y);
      const int score = c.red() - c.blue() + (c.red() > 200 && c.green() > 90 ? 100 : 0);
      if (score > bestScore) bestScore = score, best = {x, y};
    }
  return best;
}

TEST(KnobGallery, LampSitsAtTheIndicatorAngle) {
  auto panel = MakeKnobPanel(95);
  TLN_Knob& knob = *panel.Knob;
  knob.SetColor(QColor(0x60, 0x60, 0x60));
  knob.SetLedOn(true);
  const QPointF centre(10 + 47.5, 10 + 47.5);
  for (int angle : {0, 90, 200, 300}) {
    knob.UpdatePosition(PositionAtAngle(knob, angle));
    const QPoint lamp = LampCentre(Render(*panel.Panel));
    const double seen = std::fmod(
        std::atan2(lamp.y() - centre.y(), lamp.x() - centre.x()) * 180 / std::numbers::pi + 360,
        360);
    EXPECT_NEAR(seen, angle, 8) << "angle " << angle;
    EXPECT_GT(std::hypot(lamp.x() - centre.x(), lamp.y() - centre.y()), 12);
  }
}

}  // namespace
