#pragma once
// The program's pictures, all drawn by its own code.
//
// Named pictures stand in for the bitmap resources the windows load by
// name: "SPLASH" (the start-up picture), "QUILLON" (the emblem of the about
// box), "BARBLUE" (the help window's caption strip), "PALETTEBMP" (the
// colour table as a 16 x 16 picture), "BACK1" (the main window's background
// tile) and the thumbnail frames "FRAME_80X60" .. "FRAME_160X120".
//
// Files that must lie beside the program are drawn from the same code by
// the build (the program qlon_pictures): the background "Images/back1.gif",
// which the main window loads from its folder, and the icons of the program
// and of its ".web" files in the desktop's theme layout, which the desktop
// registration copies for the desktop to show.
#include <QIcon>
#include <QImage>
#include <QString>
#include <QStringList>
#include <vector>

namespace qlon::shell {

// The picture of that name (case-insensitive); null for a name the program
// does not have.
QImage ProgramBitmap(const QString& name);
// Every name ProgramBitmap knows.
QStringList ProgramBitmapNames();

// The files beside the program, relative to its folder.
inline constexpr const char* kBackgroundFile = "Images/back1.gif";
inline constexpr int kIconSizes[] = {16, 24, 32, 48, 64, 128, 256};
// "icons/hicolor/<n>x<n>/<context>/<icon>.png".
QString IconFile(const char* context, const char* icon, int size);
// Every file, with the picture it holds.
struct TInstalledPicture {
  QString File;
  QImage Picture;
};
std::vector<TInstalledPicture> InstalledPictures();

// The program's icon at each size, for its windows.
QIcon ProgramIcon();

}  // namespace qlon::shell
