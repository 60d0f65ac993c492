#include "advanced/WaitFormUnit.h"

#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>

#include "core/ErrorReport.h"

TWaitForm::TWaitForm(const uint32_t& aUout, QWidget* aOwner)
    : QDialog(aOwner, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      fReading(aUout),
      fUout(static_cast<uint16_t>(aUout)) {
  setObjectName("WaitForm");
  setFixedSize(358, 189);
  fLabel1 = new QLabel("Please WAIT", this);
  fLabel1->setObjectName("Label1");
  fLabel1->setAlignment(Qt::AlignCenter);
  QFont font = fLabel1->font();
  font.setPixelSize(28);
  font.setBold(true);
  fLabel1->setFont(font);
  fProgressBar1 = new QProgressBar(this);
  fProgressBar1->setObjectName("ProgressBar1");
  fProgressBar1->setRange(0, kTicks);
  fProgressBar1->setValue(kTicks);
  fProgressBar1->setTextVisible(false);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(24, 24, 24, 24);
  layout->addWidget(fLabel1);
  layout->addWidget(fProgressBar1);

  fTimer1 = new QTimer(this);
  fTimer1->setObjectName("Timer1");
  fTimer1->setInterval(kTickInterval);
  connect(fTimer1, &QTimer::timeout, this, Guarded([this] { Timer1Timer(); }));
  fTimer1->start();
}

void TWaitForm::showEvent(QShowEvent* aEvent) {
  QDialog::showEvent(aEvent);
  if (QWidget* owner = parentWidget()) move(owner->geometry().center() - rect().center());
}

void TWaitForm::Timer1Timer() {
  if (fProgressBar1->value() > 0) fProgressBar1->setValue(fProgressBar1->value() - 1);
  // Only a fall counts: a rising reading is not the supply settling after the point.
  const uint32_t now = static_cast<uint16_t>(fReading);
  const bool fallen = now < fUout && fUout - now > kFall;
  if (fProgressBar1->value() == 0 || fallen) {
    fTimer1->stop();
    close();
  }
}
