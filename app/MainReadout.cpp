// The front panel's digits, lamps and texts, and how the readouts are drawn.
#include <QFrame>
#include <QLabel>

#include "app/FocusedPanel.h"
#include "app/MainUnit.h"
#include "core/ProtectionText.h"
#include "panel/Indicator.h"
#include "panel/dsLeds.h"

namespace {

struct TDigitStyle {
  int Width, Height;
  uint32_t Back, On, Off;
};
constexpr TDigitStyle kBigDigit{33, 49, 0x000000, 0xFFFFFF, 0x202020};
constexpr TDigitStyle kSmallDigit{17, 25, 0x000000, 0x00FF00, 0x202020};
constexpr TDigitStyle kCounterDigit{10, 16, 0xDDDDDD, 0x000000, 0xC0C0C0};

// Left edges of the four big digits, digit 4 first; digit 3 moves right when the current
// shows three decimals.
constexpr int kBigDigitX[] = {26, 71, 122, 163};
constexpr int kBigDigitY = 16;

std::vector<TdsSevenSegmentDisplay*> AddDigits(QWidget* panel, const QString& prefix, int count,
                                               const TDigitStyle& style, int left, int top,
                                               int pitch) {
  std::vector<TdsSevenSegmentDisplay*> digits(count);
  for (int n = count; n >= 1; --n) {
    auto* digit = new TdsSevenSegmentDisplay(panel);
    digit->setObjectName(prefix + QString::number(n));
    digit->setGeometry(left + (count - n) * pitch, top, style.Width, style.Height);
    digit->SetSegmentWidth(4);
    digit->SetBackColor(style.Back);
    digit->SetOnColor(style.On);
    digit->SetOffColor(style.Off);
    digit->SetTag(n);
    digit->SetValue(10);
    digits[n - 1] = digit;
  }
  return digits;
}

TdsLed* AddLed(QWidget* parent, const QString& name, QRect geometry, uint32_t on, uint32_t off,
               bool lit = false) {
  auto* led = new TdsLed(parent);
  led->setObjectName(name);
  led->setGeometry(geometry);
  led->SetOnColor(on);
  led->SetOffColor(off);
  led->SetLedOn(lit);
  return led;
}

QLabel* AddLabel(QWidget* parent, const QString& name, const QString& text, QRect geometry,
                 int pointSize = 0, Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  label->setGeometry(geometry);
  label->setAlignment(align);
  if (pointSize > 0) {
    QFont font = label->font();
    font.setPointSize(pointSize);
    font.setBold(true);
    label->setFont(font);
  }
  return label;
}

void SetLabelColor(QLabel* label, uint32_t color) {
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, ColorFromBgr(color));
  label->setPalette(palette);
}

// A point LED sits right of the digit that carries the point, at its foot.
void PlacePointLed(TdsLed* led, const TdsSevenSegmentDisplay* digit, int size) {
  const QRect d = digit->geometry();
  led->setGeometry(d.right() + 3, d.bottom() - size + 1, size, size);
}

}  // namespace

void TMainForm::BuildReadouts() {
  PointLed.assign(12, nullptr);
  SegUset = AddDigits(UsetPanel, "SegUset", 4, kBigDigit, kBigDigitX[0], kBigDigitY, 0);
  SegIset = AddDigits(IsetPanel, "SegIset", 4, kBigDigit, kBigDigitX[0], kBigDigitY, 0);
  const TDigitStyle out{kBigDigit.Width, kBigDigit.Height, 0x000000, 0x00FF00, 0x202020};
  SegUout = AddDigits(UoutPanel, "SegUout", 4, out, kBigDigitX[0], kBigDigitY, 0);
  SegIout = AddDigits(IoutPanel, "SegIout", 4, out, kBigDigitX[0], kBigDigitY, 0);
  for (auto* row : {&SegUset, &SegIset, &SegUout, &SegIout})
    for (int n = 4; n >= 1; --n) (*row)[n - 1]->move(kBigDigitX[4 - n], kBigDigitY);

  PointLed[1] = AddLed(UsetPanel, "PointLed1", {}, 0xFFFFFF, 0x0000FF, true);
  PointLed[2] = AddLed(IsetPanel, "PointLed2", {}, 0xFFFFFF, 0x0000FF, true);
  PointLed[3] = AddLed(UoutPanel, "PointLed3", {}, 0x00FF00, 0x0000FF, true);
  PointLed[4] = AddLed(IoutPanel, "PointLed4", {}, 0x00FF00, 0x0000FF, true);
  PlacePointLed(PointLed[1], SegUset[2], 6);
  PlacePointLed(PointLed[3], SegUout[2], 6);

  SegTime = AddDigits(TimePanel, "SegTime", 6, kSmallDigit, 4, 8, 23);
  SegPout = AddDigits(PoutPanel, "SegPout", 6, kSmallDigit, 4, 8, 23);
  PointLed[5] = AddLed(PoutPanel, "PointLed5", {}, 0x00FF00, 0x0000FF, true);
  PointLed[6] = AddLed(TimePanel, "PointLed6", {}, 0x00FF00, 0x0000FF, true);
  PointLed[7] = AddLed(TimePanel, "PointLed7", {}, 0x00FF00, 0x0000FF, true);
  PlacePointLed(PointLed[5], SegPout[2], 3);
  PlacePointLed(PointLed[6], SegTime[4], 3);
  PlacePointLed(PointLed[7], SegTime[2], 3);

  for (QFrame* counter : {AHPanel, WHPanel}) {
    counter->setAutoFillBackground(true);
    QPalette palette = counter->palette();
    palette.setColor(QPalette::Window, ColorFromBgr(0xDDDDDD));
    counter->setPalette(palette);
  }
  SegAH = AddDigits(AHPanel, "SegAH", 6, kCounterDigit, 4, 4, 14);
  SegWH = AddDigits(WHPanel, "SegWH", 6, kCounterDigit, 4, 4, 14);
  PointLed[8] = AddLed(AHPanel, "PointLed8", {}, 0x000000, 0xC0C0C0, true);
  PointLed[9] = AddLed(AHPanel, "PointLed9", {}, 0x000000, 0xC0C0C0, true);
  PointLed[10] = AddLed(WHPanel, "PointLed10", {}, 0x000000, 0xC0C0C0, true);
  PointLed[11] = AddLed(WHPanel, "PointLed11", {}, 0x000000, 0xC0C0C0, true);
  PlacePointLed(PointLed[8], SegAH[2], 3);
  PlacePointLed(PointLed[9], SegAH[1], 3);
  PlacePointLed(PointLed[10], SegWH[2], 3);
  PlacePointLed(PointLed[11], SegWH[1], 3);
  PointLed[9]->hide();
  PointLed[11]->hide();

  IndLabel1 = AddLabel(UsetPanel, "IndLabel1", "V", {206, 30, 40, 40}, 22);
  IndLabel2 = AddLabel(IsetPanel, "IndLabel2", "A", {206, 30, 40, 40}, 22);
  IndLabel3 = AddLabel(UoutPanel, "IndLabel3", "V", {206, 30, 40, 40}, 22);
  IndLabel4 = AddLabel(IoutPanel, "IndLabel4", "A", {206, 30, 40, 40}, 22);
  IndLabel5 = AddLabel(PoutPanel, "IndLabel5", "W", {146, 10, 24, 24}, 12);
  TimeIndLabel = AddLabel(TimePanel, "TimeIndLabel", "S", {150, 10, 24, 24}, 12);
  AHLabel = AddLabel(AHPanel, "AHLabel", " Ah", {92, 2, 44, 20}, 9);
  WHLabel = AddLabel(WHPanel, "WHLabel", " Wh", {92, 2, 44, 20}, 9);
  SetLabelColor(AHLabel, 0x000000);
  SetLabelColor(WHLabel, 0x000000);

  AddLabel(SetPanel, "SetTitleLabel", "U / I    SET", {214, 100, 110, 20}, 10, Qt::AlignCenter);
  VinPanel = AddLabel(SetPanel, "VinPanel", "VIN 0.0 V", {8, 194, 150, 20}, 10);
  PowerPanel = AddLabel(SetPanel, "PowerPanel", "Power 0.0 W", {380, 194, 150, 20}, 10,
                        Qt::AlignRight | Qt::AlignVCenter);
  TempLabel = AddLabel(SetPanel, "TempLabel", "T --C", {230, 150, 80, 20}, 10, Qt::AlignCenter);
  TempLabel->hide();
  DebugLabel = AddLabel(SetPanel, "DebugLabel", "0", {230, 172, 80, 18}, 0, Qt::AlignCenter);
  DebugLabel->hide();
  UsetErrorLed = AddLed(UsetPanel, "UsetErrorLed", {242, 5, 10, 10}, 0x0000FF, 0xC0C0C0);
  IsetErrorLed = AddLed(IsetPanel, "IsetErrorLed", {242, 5, 10, 10}, 0x0000FF, 0xC0C0C0);

  BuildStatusLamps();
}

void TMainForm::BuildStatusLamps() {
  struct TLamp {
    TdsLed** Led;
    const char* Name;
    uint32_t On;
    QLabel** Label;
    const char* LabelName;
    const char* Text;
  };
  QLabel* cvLabel = nullptr;
  QLabel* ccLabel = nullptr;
  QLabel* vinLabel = nullptr;
  const TLamp lamps[] = {
      {&CVLed, "CVLed", 0x00FF00, &cvLabel, "CVLabel", "CV"},
      {&CCLed, "CCLed", 0x00FFFF, &ccLabel, "CCLabel", "CC"},
      {&ProtectLed, "ProtectLed", 0x0000FF, &ProtectLabel, "ProtectLabel", "Error"},
      {&VinErrorLed, "VinErrorLed", 0x0000FF, &vinLabel, "VinErrorLabel", "VIN"},
  };
  int top = 112;
  for (const TLamp& lamp : lamps) {
    *lamp.Led = AddLed(OutputPanel, lamp.Name, {224, top, 15, 15}, lamp.On, 0xC0C0C0);
    *lamp.Label = AddLabel(OutputPanel, lamp.LabelName, lamp.Text, {244, top - 2, 60, 19});
    top += 24;
  }
}

void TMainForm::CreateIndicators() {
  // An indicator over a row of digits (digit 1 the rightmost) and its point LEDs.
  auto make = [](uint32_t min, uint32_t max, uint32_t len, uint32_t point, uint32_t* value,
                 const std::vector<TdsSevenSegmentDisplay*>& digits,
                 std::initializer_list<TdsLed*> leds) {
    auto ind = std::make_unique<TIndicator>(min, max, len, point, value);
    for (size_t n = 0; n < digits.size(); ++n) ind->Digit[n + 1] = digits[n];
    size_t n = 1;
    for (TdsLed* led : leds) ind->PointLed[n++] = led;
    return ind;
  };
  const auto umax = static_cast<uint32_t>(ModelUmax);
  const auto imax = static_cast<uint32_t>(ModelImax);
  UsetInd = make(10, umax, 4, 3, &gData.USET, SegUset, {PointLed[1]});
  IsetInd = make(1, imax, 4, 3, &gData.ISET, SegIset, {PointLed[2]});
  UoutInd = make(0, 10000, 4, 3, &gData.UOUT, SegUout, {PointLed[3]});
  IoutInd = make(0, 10000, 4, 3, &gData.IOUT, SegIout, {PointLed[4]});
  PoutInd = make(0, 1000000, 6, 3, &gData.POWER, SegPout, {PointLed[5]});
  // Time: the points between minutes and seconds and between hours and minutes; counters: the
  // one- and two-decimal points.
  TimeInd = make(0, 360000, 6, 1, &fCounters.fTime, SegTime, {PointLed[7], PointLed[6]});
  AHInd = make(0, 4294967295u, 6, 2, &fCounters.fAHCounter, SegAH, {PointLed[9], PointLed[8]});
  WHInd = make(0, 4294967295u, 6, 2, &fCounters.fWHCounter, SegWH, {PointLed[11], PointLed[10]});
  TimeInd->SetOnChange([this](void*) { TimeIndChange(); });
  AHInd->SetOnChange([this](void*) { AHIndChange(); });
  WHInd->SetOnChange([this](void*) { WHIndChange(); });
  PlaceCurrentPoint();
}

// Two decimals (10 mA units) or three (1 mA units): digit 3 and the point move together.
void TMainForm::PlaceCurrentPoint() {
  const bool milliamps = CurrentDivider == 10;
  const uint32_t pointPos = milliamps ? 4 : 3;
  for (auto* row : {&SegIset, &SegIout}) (*row)[2]->move(milliamps ? 83 : 71, kBigDigitY);
  for (TdsLed* led : {PointLed[2], PointLed[4]})
    led->setGeometry(milliamps ? 71 : 110, kBigDigitY + kBigDigit.Height - 6, 6, 6);
  IsetInd->PointPos = pointPos;
  IoutInd->PointPos = pointPos;
  IsetInd->ClearValue();
  IoutInd->ClearValue();
}

void TMainForm::ShowVin(uint32_t value) { VinPanel->setText("VIN " + FormatFixed(value, 3) + " V"); }

void TMainForm::ShowSetPower(uint32_t u, uint32_t i) {
  const int32_t power = MulDiv(static_cast<int32_t>(u), static_cast<int32_t>(i), CurrentDivider * 100);
  PowerPanel->setText("Power " + FormatFixed(static_cast<uint32_t>(power), 3) + " W");
}

void TMainForm::ShowProtection(uint32_t code) {
  ProtectLed->SetLedOn(code > 0);
  ProtectLabel->setText(ProtectionText(code));
}

void TMainForm::ClearModeLeds() {
  CVLed->SetLedOn(false);
  CCLed->SetLedOn(false);
  ProtectLed->SetLedOn(false);
}

void TMainForm::SetDisplayColors(uint32_t setColor, uint32_t outColor) {
  UsetInd->SetColor(setColor);
  IsetInd->SetColor(setColor);
  for (QLabel* label : {IndLabel1, IndLabel2}) SetLabelColor(label, setColor);
  for (TIndicator* ind : {UoutInd.get(), IoutInd.get(), PoutInd.get(), TimeInd.get()})
    ind->SetColor(outColor);
  for (QLabel* label : {IndLabel3, IndLabel4, IndLabel5, TimeIndLabel}) SetLabelColor(label, outColor);
  fShownOutColor = outColor;
}

void TMainForm::SetShadowColor(bool on) {
  if (fPowerOn) SetDisplayColors(fCLR1, on ? DarkenColor(fOutColor) : fOutColor);
  fShadowColorOn = on;
}

void TMainForm::TimeIndChange() { TimeIndLabel->setText(fCounters.fTime < 360000 ? "S" : "h"); }
void TMainForm::AHIndChange() { AHLabel->setText(fCounters.fAHCounter < 100000 ? " Ah" : "kAh"); }
void TMainForm::WHIndChange() { WHLabel->setText(fCounters.fWHCounter < 100000 ? " Wh" : "kWh"); }

void TMainForm::RefreshReadouts() {
  UsetInd->UpdateDigits();
  IsetInd->UpdateDigits();
  UoutInd->UpdateDigits();
  IoutInd->UpdateDigits();
  PoutInd->UpdateDigits();
}

void TMainForm::RefreshCounterReadouts() {
  TimeInd->UpdateTime();
  AHInd->UpdateCounter();
  WHInd->UpdateCounter();
}
