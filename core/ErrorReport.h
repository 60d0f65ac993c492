#pragma once
// The program's general error report. A handler raises EKelvoraError (or any std::exception);
// the error is shown to the user in a message box with its text and the program goes on.
//
// Qt's own frames are built without exception support, so an error must be caught before it
// crosses them: handlers are connected through Guarded(), which catches at the handler's edge.
// The application object's notify() is the last net for anything that still escapes.

#include <QString>

#include <exception>
#include <stdexcept>
#include <type_traits>
#include <utility>

// An error meant for the user: its text is shown as it stands.
class EKelvoraError : public std::runtime_error {
 public:
  explicit EKelvoraError(const QString& text)
      : std::runtime_error(text.toStdString()), fText(text) {}
  const QString& Text() const { return fText; }

 private:
  QString fText;
};

// Shows the text of a caught error in a message box centred on the active window.
void ReportError(const QString& text);
// Reports the exception currently being handled (call from a catch block).
void ReportCurrentException();

// Wraps a handler so that an error it raises is reported instead of unwinding into Qt.
// Extra signal arguments the handler does not take are dropped.
template <typename F>
auto Guarded(F handler) {
  return [handler = std::move(handler)](auto&&... args) {
    try {
      // Signals may carry more arguments than the handler wants (clicked(bool)).
      if constexpr (std::is_invocable_v<const F&, decltype(args)...>)
        handler(std::forward<decltype(args)>(args)...);
      else
        handler();
    } catch (...) {
      ReportCurrentException();
    }
  };
}
