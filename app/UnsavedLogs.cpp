#include "app/UnsavedLogs.h"

#include <QRadioButton>
#include <QTimer>

#include "advanced/AdvancedUnit.h"
#include "app/MainUnit.h"
#include "app/ProgramWindows.h"
#include "core/ErrorReport.h"
#include "logging/LogRecovery.h"
#include "host/DataFolders.h"

void OfferUnsavedLogs() {
  const bool excel = AdvancedForm && AdvancedForm->LogExcelRadioBtn()->isChecked();
  TLogRecovery(ProgramDataFolder()).Offer(MainForm, excel);
}

void OfferUnsavedLogsOnceShown() {
  QTimer::singleShot(0, MainForm, Guarded([] { OfferUnsavedLogs(); }));
}
