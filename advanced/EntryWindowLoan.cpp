#include "advanced/EntryWindowLoan.h"

#include <QPointer>
#include <QWidget>

#include <memory>

namespace {

// Rides on the lent window and remembers whose it is.
class TEntryLoan : public QObject {
 public:
  TEntryLoan(QWidget* aForm, QWidget* aOwner) : QObject(aForm), Owner(aOwner) {
    setObjectName("EntryWindowLoan");
  }
  QPointer<QWidget> Owner;
};

}  // namespace

void LendEntryWindow(QWidget& aForm, QWidget& aBorrower) {
  if (aForm.parentWidget() == &aBorrower) return;
  new TEntryLoan(&aForm, aForm.parentWidget());  // owned by the form
  const QPoint at = aForm.pos();
  aForm.setParent(&aBorrower, aForm.windowFlags());
  aForm.move(at);
}

void ReturnEntryWindows(QWidget& aBorrower) {
  for (QWidget* form : aBorrower.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    auto* loan = form->findChild<TEntryLoan*>("EntryWindowLoan", Qt::FindDirectChildrenOnly);
    if (!loan) continue;
    const std::unique_ptr<TEntryLoan> ended(loan);
    form->hide();
    form->setParent(ended->Owner, form->windowFlags());
  }
}
