#pragma once
// A read-only value field that opens an entry window when clicked: the text shows the value,
// the pop-up edits it.

#include <QLineEdit>

#include <functional>

class TClickableEdit : public QLineEdit {
  Q_OBJECT
 public:
  // tag selects the field's indicator; hint is passed on to the entry window.
  TClickableEdit(const QString& name, int tag, const QString& hint, QWidget* parent);

  int Tag() const { return fTag; }
  QString Hint() const { return toolTip(); }

  std::function<void(TClickableEdit*)> OnClick;

 protected:
  void mousePressEvent(QMouseEvent* event) override;

 private:
  int fTag;
};
