#pragma once
// Qt's own texts (the buttons and labels of standard dialogs such as the file dialog) in
// Chinese, the interface's language, whatever the system's locale is.
class QCoreApplication;

namespace sbx {

// Loads Qt's Simplified Chinese translations from Qt's translations folder into `app`, for
// as long as `app` lives. False when they are not installed: Qt then shows its English texts.
bool installQtChineseTranslations(QCoreApplication& app);

}  // namespace sbx
