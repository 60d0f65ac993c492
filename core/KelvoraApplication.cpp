#include "core/KelvoraApplication.h"

#include <QFile>
#include <QFont>
#include <QPalette>
#include <QStyleFactory>

TKelvoraApplication::TKelvoraApplication(int& argc, char** argv) : QApplication(argc, argv) {
  setOrganizationName("ardentix");
  setApplicationName("KPX");
  // No display name: Qt would append it to every caption. The desktop matches the windows to
  // the installed entry and its icon by the desktop file name and the window class.
  setDesktopFileName("com.ardentix.kelvora");
}

bool TKelvoraApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    ReportCurrentException();
  }
  return false;
}

void TKelvoraApplication::ApplyAuricStyle() {
  Q_INIT_RESOURCE(resources);
  setFont(QFont("Tahoma", 8));
  setStyle(QStyleFactory::create("Fusion"));
  QPalette dark;
  dark.setColor(QPalette::Window, QColor(0x23, 0x21, 0x1e));
  dark.setColor(QPalette::WindowText, QColor(0xe8, 0xe2, 0xd4));
  dark.setColor(QPalette::Base, QColor(0x2f, 0x2c, 0x27));
  dark.setColor(QPalette::AlternateBase, QColor(0x3a, 0x36, 0x2f));
  dark.setColor(QPalette::Text, QColor(0xe8, 0xe2, 0xd4));
  dark.setColor(QPalette::Button, QColor(0x3a, 0x36, 0x2f));
  dark.setColor(QPalette::ButtonText, QColor(0xe8, 0xe2, 0xd4));
  dark.setColor(QPalette::Highlight, QColor(0x8a, 0x6d, 0x2c));
  dark.setColor(QPalette::HighlightedText, Qt::white);
  dark.setColor(QPalette::ToolTipBase, QColor(0x3a, 0x36, 0x2f));
  dark.setColor(QPalette::ToolTipText, QColor(0xe8, 0xe2, 0xd4));
  // Disabled controls recede: grey texts (labels, check boxes and radio buttons take WindowText)
  // and indicator and field faces in the window colour.
  const QColor greyText(0x7a, 0x74, 0x68);
  dark.setColor(QPalette::Disabled, QPalette::Text, greyText);
  dark.setColor(QPalette::Disabled, QPalette::ButtonText, greyText);
  dark.setColor(QPalette::Disabled, QPalette::WindowText, greyText);
  dark.setColor(QPalette::Disabled, QPalette::Base, QColor(0x23, 0x21, 0x1e));
  setPalette(dark);
  QFile sheet(":/auric.qss");
  if (sheet.open(QIODevice::ReadOnly)) setStyleSheet(QString::fromUtf8(sheet.readAll()));
}
