#pragma once
// Document operations of a capture that the main window runs and the
// capture file itself does not offer: starting it afresh, dropping records
// no page links to, its default title, and the folder-deletion guard.
#include <filesystem>
#include <optional>
#include <string>

namespace qlon {

class TWeb;

// Adds a start entry (nothing when the URL is one already).
void AddStartUrl(TWeb& web, const std::string& url, const std::string& user = {}, const std::string& password = {});
// Deletes the capture's files (every record's local file, the index pages,
// the thumbnails and the folders they leave empty) and starts the capture
// file again with no record; start entries, title and options stay.
void ResetWebDocument(TWeb& web);
// After a whole update walk: the retrieved records the walk never reached
// (their update mark still set), but not the start pages, are deleted with
// their local files. The count removed.
int RemoveIsolatedRecords(TWeb& web);
// Records still queued for update (state 6).
int CountToUpdate(TWeb& web);
// An empty title becomes the first start page's title, else its address.
void SetDefaultTitle(TWeb& web);
// The page of the web's folder (an index page) when it exists; nothing
// without a web.
std::optional<std::filesystem::path> WebPage(const TWeb* web, const std::string& relative);
// "Le web <path> ne peut pas être ouvert : <why>." for a web whose Open did
// not succeed; the path printed safely.
std::string CannotOpenWebText(const std::string& path, const TWeb& web);
// Two paths name the same file (links and "." resolved; case counts here).
bool SamePath(const std::filesystem::path& a, const std::filesystem::path& b);
// True when inner is outer or lies inside it (links resolved).
bool IsWithin(const std::filesystem::path& inner, const std::filesystem::path& outer);
// Whether a web's folder may be emptied or deleted as a whole: never the
// root, a home folder, the work folder, the program's folder, nor a folder
// holding one of them. Only such a folder may receive a new web.
bool MayDeleteWebFolder(const std::filesystem::path& folder, const std::filesystem::path& workFolder,
                        const std::filesystem::path& programFolder);

}  // namespace qlon
