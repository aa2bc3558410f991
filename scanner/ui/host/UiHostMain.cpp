// tq21uui-host: a scanning host for demonstration and tests. It installs
// the driver over an emulated scanner, loads tq21uui.so by name and shows
// the settings page in its window.
//
//   tq21uui-host [--model QM-28460P] [--fail diagnostics,calibration] [--screenshot page.png]
//
// With --screenshot the window is rendered to the PNG file and the program
// ends (exit 0 when written). State goes under the platform root
// (QLON_PLATFORM_ROOT).
#include <QApplication>
#include <QCommandLineParser>
#include <QTemporaryDir>
#include <cstdio>

#include "EmulatedInstall.h"
#include "PageHost.h"
#include "ScannerInterface.h"

using namespace qlon::scanner::host;

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QCommandLineParser args;
  args.addHelpOption();
  QCommandLineOption model("model", "Product of the emulated scanner.", "product", "QM-28460P");
  QCommandLineOption fail("fail", "Emulator faults: diagnostics, calibration, offline.", "faults");
  QCommandLineOption shot("screenshot", "Render the window to this PNG file and quit.", "file");
  args.addOptions({model, fail, shot});
  args.process(app);

  QTemporaryDir folder;
  InstallOptions options;
  options.product = args.value(model).toStdString();
  options.faults = args.value(fail).toStdString();
  EmulatedInstall install(folder.path().toStdString(), ProgramFolder(), options);
  if (!install.Error().empty()) {
    std::fprintf(stderr, "tq21uui-host: %s\n", install.Error().c_str());
    return 2;
  }
  qlon::imgport::DriverScannerInterface scanner(install.DriverPath());
  if (!scanner.Loaded()) {
    std::fprintf(stderr, "tq21uui-host: driver: %s\n", scanner.Error().c_str());
    return 2;
  }
  PageHost host(install.UiLibrary(), &scanner);
  if (!host.Error().empty()) {
    std::fprintf(stderr, "tq21uui-host: %s\n", host.Error().c_str());
    return 2;
  }
  host.show();
  if (!args.isSet(shot)) return app.exec();
  QApplication::processEvents();
  return host.grab().save(args.value(shot), "PNG") ? 0 : 1;
}
