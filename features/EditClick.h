#pragma once
// The pop-up entry window over a numeric edit box of the side panels: the box only shows the
// value; the window edits the field behind it in place.

#include <functional>

class QWidget;
class TEnterForm;
class TIndicator;

// Places form with its top-left corner just inside Sender, gives it Sender's hint and the
// field's indicator, and shows it without blocking. When the window loses activation it calls
// updateMemory, which rewrites the edit texts from the fields. The caller decides whether an
// edit is allowed at all (connected, output off).
void EditClick(QWidget& Sender, TEnterForm& form, TIndicator& indicator,
               std::function<void()> updateMemory);
