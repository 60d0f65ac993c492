#pragma once
// The pop-up entry windows belong to the main window, and a modal window takes input away from
// every window that is not its own. So while the advanced window edits a field, the entry
// window is lent to it, and given back when the advanced window closes.

class QWidget;

// Makes aForm a window of aBorrower until ReturnEntryWindows; keeps it where it is.
void LendEntryWindow(QWidget& aForm, QWidget& aBorrower);
// Hides the entry windows lent to aBorrower and gives each back to its owner.
void ReturnEntryWindows(QWidget& aBorrower);
