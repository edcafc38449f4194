#pragma once
// Enter and Return press the focused push button in every window, as Space does, the way
// people know it from the spreadsheet applications and the system's own dialogs. Qt does
// this only inside dialogs (which keep their own rules: the default button, none at all).
class QApplication;

namespace sbx {

// Installs the rule on the application once; later calls do nothing.
void letEnterPressFocusedButtons(QApplication& app);

}  // namespace sbx
