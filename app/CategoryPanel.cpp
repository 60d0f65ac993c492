#include "app/CategoryPanel.h"

#include <QToolButton>
#include <QVBoxLayout>

TCategoryPanel::TCategoryPanel(const QString& name, const QString& caption, QWidget* parent)
    : QWidget(parent), fHeader(new QToolButton(this)), fSurface(new QWidget(this)) {
  setObjectName(name);
  fHeader->setObjectName("CategoryHeader");
  fHeader->setText(caption);
  fHeader->setFixedHeight(kHeaderHeight);
  fHeader->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  fHeader->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  fHeader->setArrowType(Qt::RightArrow);
  fSurface->setObjectName(name + "Surface");
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(fHeader);
  layout->addWidget(fSurface, 1);
  fSurface->hide();
  connect(fHeader, &QToolButton::clicked, this, [this] { SetCollapsed(!fCollapsed); });
}

QString TCategoryPanel::Caption() const { return fHeader->text(); }

void TCategoryPanel::SetCaption(const QString& value) { fHeader->setText(value); }

void TCategoryPanel::SetCollapsed(bool value) {
  if (value == fCollapsed) return;
  fCollapsed = value;
  fSurface->setVisible(!value);
  fHeader->setArrowType(value ? Qt::RightArrow : Qt::DownArrow);
  if (fOnFold) fOnFold();
  if (value) {
    if (OnCollapse) OnCollapse(this);
  } else {
    if (OnExpand) OnExpand(this);
  }
}

TCategoryPanelGroup::TCategoryPanelGroup(const QString& name, QWidget* parent)
    : QWidget(parent), fLayout(new QVBoxLayout(this)) {
  setObjectName(name);
  fLayout->setContentsMargins(0, 0, 0, 0);
  fLayout->setSpacing(1);
  fLayout->addStretch(1);
}

TCategoryPanel* TCategoryPanelGroup::AddPanel(const QString& name, const QString& caption) {
  auto* panel = new TCategoryPanel(name, caption, this);
  // Keep the stretch last so collapsed panels stack at the top.
  fLayout->insertWidget(fLayout->count() - 1, panel);
  panel->fOnFold = [this] { ShareHeight(); };
  ShareHeight();
  return panel;
}

void TCategoryPanelGroup::ShareHeight() {
  bool anyOpen = false;
  for (int k = 0; k + 1 < fLayout->count(); ++k) {
    auto* panel = static_cast<TCategoryPanel*>(fLayout->itemAt(k)->widget());
    const bool open = !panel->Collapsed();
    anyOpen = anyOpen || open;
    panel->setSizePolicy(QSizePolicy::Preferred, open ? QSizePolicy::Expanding : QSizePolicy::Fixed);
    fLayout->setStretch(k, open ? 1 : 0);
  }
  fLayout->setStretch(fLayout->count() - 1, anyOpen ? 0 : 1);
}
