#pragma once
// Reporting of exceptions caught inside the library. Every reporter's handler is read, replaced
// and called under one process-wide lock, so a handler is never replaced while it runs. A handler
// runs on the thread that caught the exception, which may be a connector's worker: a handler
// that touches widgets must hand the report over to the GUI thread.

#include "modbus/KRTypes.h"

#include <QString>

#include <exception>

class TKRRuntimeErrorHandler {
 public:
  TKRRuntimeErrorEv Get() const;
  void Set(TKRRuntimeErrorEv AHandler);
  // Calls the handler, if set, with (ASender, ADescription, AException); never throws.
  void Report(void* ASender, const QString& ADescription, const std::exception& AException) const;
  // Reports the exception being handled; call inside a catch block.
  void ReportCurrent(void* ASender, const QString& ADescription) const;

 private:
  TKRRuntimeErrorEv fHandler;
};

// The description of a component's failing procedure: <AClass>[<AField>="<AName>"<ATail>
QString KRRuntimeErrorText(const char* AClass, const char* AField, const QString& AName,
                           const char* ATail);
