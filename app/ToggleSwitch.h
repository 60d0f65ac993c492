#pragma once
// A two-state slide switch with a caption, as on an instrument's panel. Changing the state, by a
// click or from code, runs the switch's click handler, exactly once per change.

#include <QAbstractButton>

#include <functional>

class TToggleSwitch : public QAbstractButton {
  Q_OBJECT
 public:
  TToggleSwitch(const QString& name, const QString& caption, QWidget* parent = nullptr);

  bool On() const { return isChecked(); }
  void SetOn(bool value) { setChecked(value); }
  // Texts shown beside the switch for either state ("Run" / "Hold"); empty: the caption only.
  void SetStateCaptions(const QString& onText, const QString& offText);

  std::function<void()> OnClick;

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString fOnText, fOffText;
};
