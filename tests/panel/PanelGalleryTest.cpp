// Renders every front-panel control in its states to PNG files for a person to look at, and
// checks that the pictures are what the controls are meant to show.
#include <QDir>
#include <QLabel>
#include <QPixmap>
#include <QTest>
#include <gtest/gtest.h>

#include <iostream>
#include <memory>

#include "panel/EnterUnit.h"
#include "panel/EnterUnit2.h"

namespace {

QString GalleryDir() {
  const QString dir = QStringLiteral(KELVORA_GALLERY_DIR);
  QDir().mkpath(dir);
  return dir;
}

void Save(QWidget& w, const QString& name) {
  const QString path = GalleryDir() + "/" + name + ".png";
  ASSERT_TRUE(w.grab().save(path)) << path.toStdString();
  std::cout << "gallery: " << path.toStdString() << std::endl;
}

QWidget* DarkBoard(QSize size) {
  auto* board = new QWidget;
  board->resize(size);
  QPalette p = board->palette();
  p.setColor(QPalette::Window, QColor(0x10, 0x10, 0x10));
  p.setColor(QPalette::WindowText, QColor(0xC0, 0xC0, 0xC0));
  board->setPalette(p);
  board->setAutoFillBackground(true);
  return board;
}

QLabel* Caption(QWidget* parent, const QString& text, int x, int y, int px = 11) {
  auto* label = new QLabel(text, parent);
  QFont f = label->font();
  f.setPixelSize(px);
  f.setBold(true);
  label->setFont(f);
  label->move(x, y);
  return label;
}

TdsSevenSegmentDisplay* Digit(QWidget* parent, QRect geometry, uint32_t back, uint32_t on,
                              uint32_t off) {
  auto* d = new TdsSevenSegmentDisplay(parent);
  d->setGeometry(geometry);
  d->SetBackColor(back);
  d->SetOnColor(on);
  d->SetOffColor(off);
  return d;
}

TdsLed* Led(QWidget* parent, QRect geometry, uint32_t on, uint32_t off, bool lit) {
  auto* led = new TdsLed(parent);
  led->setGeometry(geometry);
  led->SetOnColor(on);
  led->SetOffColor(off);
  led->SetLedOn(lit);
  return led;
}

// A readout: digits of size digitSize, `gap` apart; Dots maps a point lamp (1 or 2) to the digit
// it follows.
struct TDot {
  int Led;
  uint32_t After;
};
struct TReadout {
  TReadout(QWidget* parent, QPoint at, uint32_t digits, uint32_t pointPos, QSize digitSize,
           int gap, uint32_t back, uint32_t on, uint32_t off, uint32_t value,
           std::vector<TDot> dots)
      : Value(value), Indicator(0, 0xFFFFFFFF, digits, pointPos, &Value) {
    const int dot = std::max(3, digitSize.width() / 5);
    auto left = [&](uint32_t i) {
      return at.x() + static_cast<int>(digits - i) * (digitSize.width() + gap);
    };
    for (uint32_t i = 1; i <= digits; ++i)
      Indicator.Digit[i] = Digit(parent, QRect(QPoint(left(i), at.y()), digitSize), back, on, off);
    for (const TDot& d : dots) {
      const QRect r(left(d.After) + digitSize.width() + (gap - dot) / 2,
                    at.y() + digitSize.height() - dot - 1, dot, dot);
      Indicator.PointLed[d.Led] = Led(parent, r, on, 0x0000FF, true);
    }
    Indicator.SetColor(on);
    Indicator.UpdateDigits();
  }
  uint32_t Value;
  TIndicator Indicator;
};

}  // namespace

TEST(PanelGallery, DigitsInEveryCode) {
  std::unique_ptr<QWidget> board(DarkBoard(QSize(13 * 38 + 10, 160)));
  std::vector<TdsSevenSegmentDisplay*> big, small;
  for (uint32_t v = 0; v <= 12; ++v) {
    const int x = 10 + static_cast<int>(v) * 38;
    Caption(board.get(), QString::number(v), x + 12, 4);
    big.push_back(Digit(board.get(), QRect(x, 22, 33, 49), 0x000000, 0xFFFFFF, 0x202020));
    big.back()->SetValue(v);
    auto* green = Digit(board.get(), QRect(x, 78, 33, 49), 0x000000, 0x00FF00, 0x202020);
    green->SetValue(v);
    small.push_back(Digit(board.get(), QRect(x + 8, 134, 10, 16), 0xDDDDDD, 0x000000, 0xC0C0C0));
    small.back()->SetValue(v);
  }
  Save(*board, "digits");
  // An 8 lights every segment, a blank lights none.
  const QImage image = board->grab().toImage();
  EXPECT_EQ(image.pixel(10 + 8 * 38 + 16, 22 + 24), qRgb(255, 255, 255));
  EXPECT_EQ(image.pixel(10 + 10 * 38 + 16, 22 + 24), qRgb(32, 32, 32));
}

TEST(PanelGallery, StatusLampsLitAndUnlit) {
  std::unique_ptr<QWidget> board(DarkBoard(QSize(420, 110)));
  struct TLamp {
    const char* Name;
    uint32_t On;
  };
  const TLamp lamps[] = {{"CV", 0x00FF00}, {"CC", 0x00FFFF},     {"PROT", 0x0000FF},
                         {"VIN", 0x0000FF}, {"MODBUS", 0x008000}, {"ONLINE", 0x00FF00}};
  int x = 12;
  for (const TLamp& lamp : lamps) {
    Caption(board.get(), lamp.Name, x, 6, 9);
    Led(board.get(), QRect(x + 4, 24, 15, 15), lamp.On, 0xC0C0C0, true);
    Led(board.get(), QRect(x + 4, 48, 15, 15), lamp.On, 0xC0C0C0, false);
    x += 66;
  }
  Led(board.get(), QRect(16, 76, 24, 24), 0x00FF00, 0x0000FF, true);
  Led(board.get(), QRect(48, 76, 24, 24), 0x00FF00, 0x0000FF, false);
  Led(board.get(), QRect(84, 82, 10, 10), 0x0000FF, 0xC0C0C0, true);
  Led(board.get(), QRect(104, 84, 6, 6), 0xFFFFFF, 0x0000FF, true);
  Led(board.get(), QRect(120, 86, 3, 3), 0x00FF00, 0x0000FF, true);
  Save(*board, "leds");
}

TEST(PanelGallery, FrontPanelReadoutsWithACursor) {
  std::unique_ptr<QWidget> board(DarkBoard(QSize(520, 250)));
  QWidget* b = board.get();
  Caption(b, "SET V", 14, 8);
  Caption(b, "SET A", 14, 128);
  Caption(b, "OUT V", 200, 8);
  Caption(b, "OUT A", 200, 128);
  const QSize big(33, 49), mid(17, 25), tiny(10, 16);
  TReadout uset(b, {14, 26}, 4, 3, big, 8, 0, 0xFFFFFF, 0x202020, 1250, {{1, 3}});
  TReadout iset(b, {14, 146}, 4, 4, big, 8, 0, 0xFFFFFF, 0x202020, 1500, {{1, 4}});
  TReadout uout(b, {200, 26}, 4, 3, big, 8, 0, 0x00FF00, 0x202020, 1249, {{1, 3}});
  TReadout iout(b, {200, 146}, 4, 4, big, 8, 0, 0x00FF00, 0x202020, 734, {{1, 4}});
  Caption(b, "W", 500, 32);
  TReadout power(b, {380, 26}, 6, 3, mid, 3, 0, 0x00FF00, 0x202020, 917, {{1, 3}});
  TReadout time(b, {380, 86}, 6, 1, mid, 3, 0, 0x00FF00, 0x202020, 0, {{1, 3}, {2, 5}});
  time.Value = 3725;  // 1:02:05
  time.Indicator.UpdateTime();
  Caption(b, "h", 500, 92);
  auto* counters = new QWidget(b);
  counters->setGeometry(380, 146, 128, 70);
  counters->setAutoFillBackground(true);
  QPalette light = counters->palette();
  light.setColor(QPalette::Window, QColor(0xDD, 0xDD, 0xDD));
  light.setColor(QPalette::WindowText, Qt::black);
  counters->setPalette(light);
  TReadout ah(counters, {6, 10}, 6, 3, tiny, 3, 0xDDDDDD, 0x000000, 0xC0C0C0, 0, {{1, 2}, {2, 3}});
  TReadout wh(counters, {6, 42}, 6, 3, tiny, 3, 0xDDDDDD, 0x000000, 0xC0C0C0, 0, {{1, 2}, {2, 3}});
  Caption(counters, "Ah", 90, 10);
  Caption(counters, "kWh", 90, 42);
  ah.Value = 1234;  // 12.34 Ah
  ah.Indicator.UpdateCounter();
  wh.Value = 234567;  // 2.3 kWh
  wh.Indicator.UpdateCounter();
  Led(b, QRect(200, 98, 15, 15), 0x00FF00, 0xC0C0C0, true);
  Caption(b, "CV", 220, 98);
  Led(b, QRect(260, 98, 15, 15), 0x00FFFF, 0xC0C0C0, false);
  Caption(b, "CC", 280, 98);

  uset.Indicator.SetEnabled(true);
  uset.Indicator.SetCursorPos(3);  // flash phase: the edited digit is dimmed
  Save(*board, "front-panel-cursor-dim");
  uset.Indicator.FlashTick();
  Save(*board, "front-panel-cursor-bright");
  EXPECT_EQ(uset.Indicator.Digit[3]->OnColor(), 0xFFFFFFu);
}

TEST(PanelGallery, EntryWindowsWithValues) {
  QWidget caller;
  caller.show();
  uint32_t limit = 85, voltage = 1250, calib = 12345;
  TIndicator limitInd(20, 100, 3, 1, &limit, "C");
  TIndicator voltageInd(0, 3000, 4, 3, &voltage, "V");
  TIndicator calibInd(0, 65535, 5, 4, &calib, "V");

  TEnterForm form(&caller);
  form.SetIndicator(&voltageInd);
  form.show();
  form.FormActivate();
  Save(form, "enter-form-voltage");
  form.SetIndicator(&limitInd);
  form.FormActivate();
  Save(form, "enter-form-three-digits");

  TEnterForm2 form2(&caller);
  form2.SetIndicator(&calibInd);
  form2.show();
  form2.FormActivate();
  Save(form2, "enter-form2-calibration");
  EXPECT_EQ(calibInd.CursorPos(), 5);
}
