#include "core/Dialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QWidget>

namespace {
TDialogResponder& Responder() {
  static TDialogResponder responder;
  return responder;
}

QMessageBox::Icon IconOf(TMsgKind kind) {
  switch (kind) {
    case TMsgKind::Error: return QMessageBox::Critical;
    case TMsgKind::Warning: return QMessageBox::Warning;
    case TMsgKind::Information: return QMessageBox::Information;
    case TMsgKind::Confirmation: return QMessageBox::Question;
  }
  return QMessageBox::NoIcon;
}
}  // namespace

void SetDialogResponder(TDialogResponder responder) { Responder() = std::move(responder); }

namespace {
QMessageBox::StandardButton ShowMessage(QWidget* owner, const std::optional<QPoint>& topLeft,
                                        const QString& text, TMsgKind kind,
                                        QMessageBox::StandardButtons buttons,
                                        const TButtonTexts& buttonTexts = {}) {
  // Boxes are captioned with the program's name (the application name is the settings key).
  const QString caption = QStringLiteral("Kelvora");
  if (Responder()) {
    TDialogRequest request{TDialogRequest::Type::Message, owner, caption, text, kind, buttons,
                           {}, {}, buttonTexts};
    return Responder()(request).Button;
  }
  QMessageBox box(IconOf(kind), caption, text, buttons, owner);
  box.setObjectName("CenteredMessageBox");
  for (const auto& [button, buttonText] : buttonTexts)
    if (QAbstractButton* b = box.button(button)) b->setText(buttonText);
  if (topLeft) box.move(*topLeft);
  return static_cast<QMessageBox::StandardButton>(box.exec());
}
}  // namespace

QMessageBox::StandardButton ShowCenteredMessage(QWidget* form, const QString& text, TMsgKind kind,
                                                QMessageBox::StandardButtons buttons,
                                                const TButtonTexts& buttonTexts) {
  std::optional<QPoint> topLeft;
  if (form) {
    const QRect frame = form->frameGeometry();
    topLeft = QPoint(frame.left() + frame.width() / 2 - 200, frame.top() + frame.height() / 2 - 50);
  }
  return ShowMessage(form, topLeft, text, kind, buttons, buttonTexts);
}

QMessageBox::StandardButton ShowMessageAt(QWidget* owner, QPoint topLeft, const QString& text,
                                          TMsgKind kind, QMessageBox::StandardButtons buttons) {
  return ShowMessage(owner, topLeft, text, kind, buttons);
}

QString AskOpenFileName(QWidget* owner, const QString& caption, const QString& filter) {
  if (Responder())
    return Responder()({TDialogRequest::Type::OpenFile, owner, caption, {}, TMsgKind::Information,
                        QMessageBox::Ok, filter, {}, {}})
        .FileName;
  return QFileDialog::getOpenFileName(owner, caption, QString(), filter);
}

QString AskSaveFileName(QWidget* owner, const QString& caption, const QString& proposed,
                        const QString& filter) {
  if (Responder())
    return Responder()({TDialogRequest::Type::SaveFile, owner, caption, proposed,
                        TMsgKind::Information, QMessageBox::Ok, filter, {}, {}})
        .FileName;
  return QFileDialog::getSaveFileName(owner, caption, proposed, filter);
}

std::optional<QColor> AskColor(QWidget* owner, const QColor& initial) {
  QColor chosen;
  if (Responder())
    chosen = Responder()({TDialogRequest::Type::Color, owner, {}, {}, TMsgKind::Information,
                          QMessageBox::Ok, {}, initial, {}})
                 .Color;
  else
    chosen = QColorDialog::getColor(initial, owner);
  if (!chosen.isValid()) return std::nullopt;
  return chosen;
}
