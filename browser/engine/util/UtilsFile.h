#pragma once
// Files, folders, the shell and message boxes.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "UtilsText.h"

namespace qlon {

// Files, folders and the shell. Folder arguments end in "/". None of these
// raises: failures are false, 0 or unchanged outputs.

// Copies the whole file; the target is created anew. False when a file
// cannot be opened, the copy fails (the partial target is removed), or
// both name the same file.
bool CopyFile(const std::filesystem::path& source, const std::filesystem::path& target);
// Copies the files of sourceFolder matching the "+mask" entries of a
// comma-separated list into targetFolder (made when missing), except those
// whose extension, cut to 3 characters, a "-*.ext" entry names. False only
// when the source folder does not exist.
bool CopyFilesByMask(const std::string& targetFolder, std::string sourceFolder, std::string_view masks);
// Renames the file (or whatever is at the path) to the first free name of
// path + suffix, path + suffix + "2", ... (a hundred at most), so that
// nothing kept there before is replaced. The new path; empty when none is
// free or the rename fails (the file then stays where it was).
std::filesystem::path SetFileAside(const std::filesystem::path& file, const std::string& suffix);
// The size of the file in bytes; 0 when missing.
std::int64_t GetFileSize(const std::filesystem::path& file);
// A file-name mask in the DOS manner: case-insensitive, "*.*" matches any
// name (one without a dot too), "name.*" matches "name".
bool MatchFileMask(std::string_view mask, std::string_view name);
// The names of the files matching the path's mask ("folder/*.htm"), sorted.
void ListFiles(const std::string& pathWithMask, StringList& list);
// The number of files (not folders) in the folder.
int CountFiles(const std::string& folder);
// Removes trailing "/", appends one; true when the folder exists.
bool PrepareFolderPath(std::string& folder);
std::string GetSystemDir();
// Removes the empty folder.
bool RemoveFolder(const std::filesystem::path& folder);

// Shell file operations (SHFileOperation); from may end in a mask.
inline constexpr unsigned FO_MOVE = 1;
inline constexpr unsigned FO_COPY = 2;
inline constexpr unsigned FO_DELETE = 3;
inline constexpr unsigned FO_RENAME = 4;
inline constexpr unsigned FOF_SILENT = 0x4;
inline constexpr unsigned FOF_NOCONFIRMATION = 0x10;
inline constexpr unsigned FOF_FILESONLY = 0x80;
// Deletes refuse (false, nothing touched) folders that are not safe to
// empty: see IsSafeToDeleteTree. Without FOF_NOCONFIRMATION a delete asks
// first (a Yes/No message box).
bool ShellFileOperation(const std::string& from, const std::string& to, unsigned operation, unsigned flags);
// The path lexically normal, without a trailing "/" ("a/b/" gives "a/b";
// the root stays "/").
std::filesystem::path NormalFolder(const std::filesystem::path& p);
// False for an empty or relative path, the root, a folder directly under
// the root, a home folder (of any account) or an ancestor of one (also
// after resolving links).
bool IsSafeToDeleteTree(const std::filesystem::path& folder);
// Deletes the folder's whole content, then the folder.
void EmptyAndRemoveFolder(const std::string& folder);
// The same, asking first when confirm is set.
void DeleteFolderTree(const std::string& folder, bool confirm);
// Deletes the files of the folder; its sub-folders stay.
void DeleteFolderFiles(const std::string& folder);
// POSIX names have no short form: the path itself.
std::string GetLongFileName(const std::string& path);
// Volumes have no labels here: the label is left unchanged, false.
bool GetVolumeLabel(const std::string& path, std::string& label);
// Free bytes, for an unprivileged user, of the file system holding the
// folder, as two 32-bit halves; true when the query succeeded.
bool GetDiskFree(const std::filesystem::path& folder, std::uint32_t& high, std::uint32_t& low);
// Drive numbers: 0 is the current folder's file system; there is no other.
bool GetDiskFree(int drive, std::uint32_t& high, std::uint32_t& low);
inline bool IsWindowsNT() { return true; }
// Opens a file or URL with its default application; returns 0.
int OpenDocument(const std::string& fileOrUrl);
// The program (and icon name) of the default application of the
// extension; false when there is none.
bool GetAssociatedProgram(std::string_view extension, std::string& program, std::string* icon = nullptr);
// Starts the command line detached; true when it started.
bool RunProgram(const std::string& commandLine, int showState);
// The running program's executable, and its folder (templates, helpers
// and companion programs are installed beside it).
std::filesystem::path ProgramFile();
std::filesystem::path ProgramFolder();

// ---------------------------------------------------------------------------
// Message boxes

// Message boxes

// Shows the box with the caption's first "&" removed; returns the button.
int ShowMessageBox(const std::string& text, const std::string& caption, unsigned flags);
// Icon kinds.
inline constexpr int kIconExclamation = 0;
inline constexpr int kIconHand = 1;
inline constexpr int kIconAsterisk = 2;
inline constexpr int kIconQuestion = 3;
inline constexpr int kIconNone = 4;
// A box of one of the standard captions (by index); its buttons are the OR
// of the button values of the bits set in buttonSet.
int ErrorBox(int iconKind, int captionIndex, const std::string& text, unsigned buttonSet);

}  // namespace qlon
