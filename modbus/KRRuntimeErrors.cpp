#include "modbus/KRRuntimeErrors.h"

#include <mutex>
#include <stdexcept>

namespace {

std::recursive_mutex& Lock() {
  static std::recursive_mutex lock;  // recursive: a handler may read or set a handler itself
  return lock;
}

}  // namespace

TKRRuntimeErrorEv TKRRuntimeErrorHandler::Get() const {
  std::lock_guard lock(Lock());
  return fHandler;
}

void TKRRuntimeErrorHandler::Set(TKRRuntimeErrorEv AHandler) {
  std::lock_guard lock(Lock());
  fHandler = std::move(AHandler);
}

void TKRRuntimeErrorHandler::Report(void* ASender, const QString& ADescription,
                                    const std::exception& AException) const {
  std::lock_guard lock(Lock());
  if (!fHandler) return;
  try {
    fHandler(ASender, ADescription, AException);
  } catch (...) {
    // A failing report handler has nobody left to tell.
  }
}

void TKRRuntimeErrorHandler::ReportCurrent(void* ASender, const QString& ADescription) const {
  try {
    throw;
  } catch (const std::exception& e) {
    Report(ASender, ADescription, e);
  } catch (...) {
    Report(ASender, ADescription, std::runtime_error("unknown exception"));
  }
}

QString KRRuntimeErrorText(const char* AClass, const char* AField, const QString& AName,
                           const char* ATail) {
  return QStringLiteral("%1[%2=\"%3\"%4")
      .arg(QLatin1String(AClass), QLatin1String(AField), AName, QString::fromUtf8(ATail));
}
