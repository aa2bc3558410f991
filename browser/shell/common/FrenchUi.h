#pragma once
// The program speaks French everywhere a person looks, including the texts
// the framework draws itself: standard buttons ("Annuler"), file and print
// dialogs, context menus of edits, and dates in the date pickers. The file
// dialogs' list gives its types, sizes and dates in French too: the program
// supplies the few words the framework's catalog lacks.
class QCoreApplication;

namespace qlon::shell {

// Loads the framework's French translation (from its translations folder,
// else "translations/" beside the program) and makes French (France) the
// default locale; the missing words are supplied either way. False when no
// translation was found: the framework's own texts then stay English,
// everything else is unchanged.
bool InstallFrenchUi(QCoreApplication& app);

}  // namespace qlon::shell
