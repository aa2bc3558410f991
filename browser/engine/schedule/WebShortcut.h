#pragma once
// Web shortcuts: ".wbs" files, small INI files that name a capture file and
// say which capture to run on it. One section:
//
//   [WebShortcut]
//   Web=<path of the capture file>         default ""
//   Capture=<0..3>                         0 reset and capture, 1 capture,
//                                          2 update, 3 capture and update
//   TimeLimit=<minutes>                    default 0
//   TimeLimitFlag=0|1  LinkResolve=0|1  CutModemFlag=0|1
//   MinimizeFlag=0|1   CloseQuillonFlag=0|1          all default 0
//
// A new shortcut starts from "WebShortcut.def" in the work folder, an
// ordinary ".wbs" file holding the user's defaults. Every key takes part in
// Assign and Differs, so an editor that saves only a changed shortcut never
// loses an edit of any key.
#include <filesystem>
#include <memory>
#include <string>

namespace qlon {

class TShortcutFile {
 public:
  TShortcutFile() = default;
  virtual ~TShortcutFile() = default;
  TShortcutFile(const TShortcutFile&) = delete;
  TShortcutFile& operator=(const TShortcutFile&) = delete;

  // A new object of the same kind.
  virtual std::unique_ptr<TShortcutFile> Create() const = 0;
  virtual void LoadFromFile(const std::string& path) = 0;
  // False when the file could not be written.
  virtual bool SaveToFile(const std::string& path) const = 0;
  virtual void Assign(const TShortcutFile& source) = 0;
  virtual void Clear() = 0;
  virtual bool Differs(const TShortcutFile& other) const = 0;

  const std::string& GetFileName() const { return fileName_; }
  // On a change of name: Clear, then load the named file (when not empty).
  void SetFileName(const std::string& path);

 private:
  std::string fileName_;
};

class TWebShortcutFile : public TShortcutFile {
 public:
  static constexpr const char* kSection = "WebShortcut";
  static constexpr const char* kDefaultsFile = "WebShortcut.def";

  // The defaults of the table above, then those of "WebShortcut.def" in the
  // work folder (win.ini "QUILLON" "WORKPATH") when it exists.
  TWebShortcutFile();

  std::unique_ptr<TShortcutFile> Create() const override;
  // Reads the keys when the path names an existing file; a missing key
  // keeps the field's current value.
  void LoadFromFile(const std::string& path) override;
  bool SaveToFile(const std::string& path) const override;
  void Assign(const TShortcutFile& source) override;
  // Fields keep their values.
  void Clear() override {}
  bool Differs(const TShortcutFile& other) const override;

  std::string Web;
  int CaptureKind = 0;
  int TimeLimit = 0;
  bool TimeLimitFlag = false;
  bool LinkResolve = false;
  bool CutModemFlag = false;
  bool MinimizeFlag = false;
  bool CloseQuillonFlag = false;
};

// The helper that lets the user rename a new shortcut in place; started
// from the program's folder when it is installed there.
inline constexpr const char* kShortcutRenameHelper = "tamblor";

// Creates "Nouveau Raccourci d'une capture de Web.wbs" in the folder (or the
// first free name with " (n)" before ".wbs") for the capture file, from the
// defaults, then asks the rename helper to let the user name it. Returns
// the new file's path; empty when no free name was found or the file could
// not be written.
std::string CreateWebShortcut(const std::filesystem::path& folder, const std::string& captureFile);

}  // namespace qlon
