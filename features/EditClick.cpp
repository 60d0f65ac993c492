#include "features/EditClick.h"

#include <QWidget>

#include "panel/EnterUnit.h"

void EditClick(QWidget& Sender, TEnterForm& form, TIndicator& indicator,
               std::function<void()> updateMemory) {
  // One pixel inside the box, so its frame stays visible around the window.
  form.move(Sender.mapToGlobal(QPoint(1, 1)));
  form.setToolTip(Sender.toolTip());
  form.SetOnUpdateMemory(std::move(updateMemory));
  form.SetIndicator(&indicator);
  form.show();
  form.activateWindow();
}
