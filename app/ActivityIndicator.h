#pragma once
// The small animation that shows the program is busy connecting (a rotating sector) or waiting
// for a port to come back (momentum dots).

#include <QTimer>
#include <QWidget>

class TActivityIndicator : public QWidget {
  Q_OBJECT
 public:
  enum class TKind { RotatingSector, MomentumDots };

  TActivityIndicator(const QString& name, QWidget* parent = nullptr);

  bool Animate() const { return fTimer.isActive(); }
  void SetAnimate(bool value);
  TKind IndicatorType() const { return fKind; }
  void SetIndicatorType(TKind value);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void PaintSector(class QPainter& p, const QRectF& area) const;
  void PaintDots(class QPainter& p, const QRectF& area) const;

  QTimer fTimer;
  TKind fKind = TKind::RotatingSector;
  int fFrame = 0;
};
