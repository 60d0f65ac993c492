#pragma once
// A value field of the advanced window: a sunken panel that shows a value as text, carries a
// background colour (the calibration tab keeps a point's state in it) and reports clicks, so
// that the pop-up entry window can open over it.

#include <QLabel>

#include <cstdint>
#include <functional>

class TValuePanel : public QLabel {
  Q_OBJECT
 public:
  TValuePanel(const QString& aName, int aTag, const QString& aHint, QWidget* parent);

  int Tag() const { return fTag; }
  // 0x00BBGGRR, as the colour values of the program.
  uint32_t Color() const { return fColor; }
  void SetColor(uint32_t aColor);

  // Only while enabled.
  std::function<void(TValuePanel*)> OnClick;

 protected:
  void mousePressEvent(QMouseEvent* aEvent) override;

 private:
  int fTag;
  uint32_t fColor = 0xFFFFFF;
};
