#pragma once
// TRecentWebs: the recent webs, and their file "webs.dat" in the work folder.
// This unit alone reads and writes it; the open web's session keeps the list (the
// window's File menu shows the first TMainMenus::kRecentShown), the scheduler's web-step dialog
// offers the webs it lists.
//
// "webs.dat": plain UTF-8 text, one capture-file path a line, newest first.
// Lines end with LF; a CR before it is dropped, so CR LF reads the same.
// Empty lines are skipped. Nothing else is in it: the titles are read from
// the capture files each time the list is loaded.
//
// The list keeps every entry (the file keeps them all, the menu shows six).
// Entries whose capture file is gone are dropped when the list is read.
// Saving writes a new file and renames it over the old one, so a failed
// write leaves the previous list whole.
#include <QString>
#include <QStringList>
#include <filesystem>
#include <string>
#include <vector>

namespace qlon {
class TSetup;
class TWeb;
}  // namespace qlon

namespace qlon::shell {

class TRecentWebs {
 public:
  static constexpr const char* kFileName = "webs.dat";
  static constexpr int kTitleMax = 32;  // characters of a title shown, then "..."

  // The capture files the folder's "webs.dat" lists that still exist, in
  // its order.
  static std::vector<std::string> Read(const std::filesystem::path& workFolder);

  // The list of the work folder of `setup` (read again at each load and
  // save: the options may move the work folder).
  explicit TRecentWebs(const TSetup& setup);

  // Reads "webs.dat" (see the header); `open` is the web open in the
  // window, if any (its title need not be read from its file).
  void Load(const TWeb* open);
  // Puts the capture file at the head (moved there when listed).
  void Add(const std::filesystem::path& file, const TWeb* open);
  // The open web's title changed: its entry shows the new one.
  void Retitle(const TWeb& open);
  void Remove(const std::string& file);
  // False when the file could not be written (the old one stays).
  bool Save() const;

  // Capture-file paths and their titles, in step, newest first.
  const QStringList& Paths() const { return paths_; }
  const QStringList& Titles() const { return titles_; }

  // The text shown for a capture file: its web's title (the open web's
  // when it is that file), else its folder; cut to kTitleMax characters.
  static QString TitleOf(const std::string& file, const TWeb* open);

 private:
  std::filesystem::path File() const;

  const TSetup& setup_;
  QStringList paths_, titles_;
};

}  // namespace qlon::shell
