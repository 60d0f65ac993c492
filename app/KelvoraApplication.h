#pragma once
// The application object: an error raised by any event handler is caught where the event is
// dispatched, shown to the user with its text, and the program keeps running.

#include <QApplication>

#include <stdexcept>

// An error meant for the user: its text is shown as it stands.
class EKelvoraError : public std::runtime_error {
 public:
  explicit EKelvoraError(const QString& text) : std::runtime_error(text.toStdString()), fText(text) {}
  const QString& Text() const { return fText; }

 private:
  QString fText;
};

class TKelvoraApplication : public QApplication {
  Q_OBJECT
 public:
  TKelvoraApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;

  // The dark "Auric" theme the program carries as a style resource.
  void ApplyAuricStyle();

 private:
  void ReportError(const QString& text);
  bool fReporting = false;
};
