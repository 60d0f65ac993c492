#pragma once
// The one seam through which every modal box and dialog of the program passes. Tests install a
// responder that answers in place of the user, so no test waits in a nested event loop.

#include <QColor>
#include <QMessageBox>
#include <QPoint>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <optional>

class QWidget;

enum class TMsgKind { Error, Warning, Information, Confirmation };

// Texts that replace the standard texts of some buttons of a message box ("Later" on Cancel).
using TButtonTexts = std::map<QMessageBox::StandardButton, QString>;

struct TDialogRequest {
  enum class Type { Message, OpenFile, SaveFile, Color } DialogType;
  QWidget* Owner = nullptr;
  QString Caption;
  QString Text;           // message text, or the proposed file name
  TMsgKind Kind = TMsgKind::Error;
  QMessageBox::StandardButtons Buttons = QMessageBox::Ok;
  QString Filter;         // file dialogs
  QColor Color;           // colour dialog: the starting colour
  TButtonTexts ButtonTexts;  // message box: buttons that carry a text of their own
};

struct TDialogReply {
  QMessageBox::StandardButton Button = QMessageBox::NoButton;
  QString FileName;  // empty: cancelled
  QColor Color;      // invalid: cancelled
};

using TDialogResponder = std::function<TDialogReply(const TDialogRequest&)>;

// Installs (or with an empty function removes) the responder that replaces the real dialogs.
void SetDialogResponder(TDialogResponder responder);

// Modal box centred on form: left + width div 2 - 200, top + height div 2 - 50.
QMessageBox::StandardButton ShowCenteredMessage(QWidget* form, const QString& text, TMsgKind kind,
                                                QMessageBox::StandardButtons buttons =
                                                    QMessageBox::Ok,
                                                const TButtonTexts& buttonTexts = {});
// Modal box with its top-left corner at topLeft (screen coordinates).
QMessageBox::StandardButton ShowMessageAt(QWidget* owner, QPoint topLeft, const QString& text,
                                          TMsgKind kind, QMessageBox::StandardButtons buttons);
QString AskOpenFileName(QWidget* owner, const QString& caption, const QString& filter);
QString AskSaveFileName(QWidget* owner, const QString& caption, const QString& proposed,
                        const QString& filter);
std::optional<QColor> AskColor(QWidget* owner, const QColor& initial);
