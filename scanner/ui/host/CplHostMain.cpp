// tq21ucpl-host: the scanner properties sheet of the control panel, for
// demonstration and tests. It installs a scanner (the machine's device key
// with its "ProductName") and shows the pages tq21ucpl.so adds.
//
//   tq21ucpl-host [--screenshot sheet.png]
#include <QApplication>
#include <QCommandLineParser>
#include <QTemporaryDir>
#include <cstdio>

#include "EmulatedInstall.h"
#include "SheetHost.h"

using namespace qlon::scanner::host;

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QCommandLineParser args;
  args.addHelpOption();
  QCommandLineOption shot("screenshot", "Render the sheet to this PNG file and quit.", "file");
  args.addOption(shot);
  args.process(app);

  QTemporaryDir folder;
  EmulatedInstall install(folder.path().toStdString(), ProgramFolder());
  if (!install.Error().empty()) {
    std::fprintf(stderr, "tq21ucpl-host: %s\n", install.Error().c_str());
    return 2;
  }
  SheetHost sheet(install.CplLibrary());
  if (sheet.AddPages(install.Information()) != 1) {
    std::fprintf(stderr, "tq21ucpl-host: no page added %s\n", sheet.Error().c_str());
    return 2;
  }
  sheet.show();
  if (!args.isSet(shot)) return app.exec();
  QApplication::processEvents();
  return sheet.grab().save(args.value(shot), "PNG") ? 0 : 1;
}
