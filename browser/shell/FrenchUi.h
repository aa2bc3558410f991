#pragma once
// The program speaks French everywhere a person looks, including the texts
// the framework draws itself: standard buttons ("Annuler"), file and print
// dialogs, context menus of edits, and dates in the date pickers.
class QCoreApplication;

namespace qlon::shell {

// Loads the framework's French translation (from its translations folder,
// else "translations/" beside the program) and makes French (France) the
// default locale. False when no translation was found: the framework's own
// texts then stay English, everything else is unchanged.
bool InstallFrenchUi(QCoreApplication& app);

}  // namespace qlon::shell
