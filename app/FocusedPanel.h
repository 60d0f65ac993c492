#pragma once
// A black readout panel that takes the keyboard focus when clicked, so the arrow and digit keys
// edit the value it shows; it draws a thin ring while it has the focus.

#include <QFrame>

#include <functional>

class TLN_FocusedPanel : public QFrame {
  Q_OBJECT
 public:
  TLN_FocusedPanel(const QString& name, QWidget* parent = nullptr);

  std::function<void()> OnClick;
  std::function<void(int key)> OnKeyDown;      // arrow keys and the like
  std::function<void(QChar key)> OnKeyPress;   // typed characters

 protected:
  void mousePressEvent(class QMouseEvent* event) override;
  void keyPressEvent(class QKeyEvent* event) override;
  void focusInEvent(class QFocusEvent* event) override;
  void focusOutEvent(class QFocusEvent* event) override;
  void paintEvent(class QPaintEvent* event) override;
};
