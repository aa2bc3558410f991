#pragma once
// The open web and what happens to it as a whole: made, opened, saved,
// closed, reset and deleted, with the recent webs and the rules that keep a
// new web out of the folders the user or the program lives in. One web is
// open at a time. The window shows it and runs the dialogs for it through
// IWebSessionHost; TWebSession itself uses no widget (its questions go
// through the program's message box).
//
// Every new web is made by New, whichever road asks for it (File > Nouveau,
// a dropped or given address, a page of the URL lists): the wizard is asked
// only when a person may answer, the destination is settled while it is
// open, another web's capture file is never replaced, and a capture file
// that cannot be made is said.
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "RecentWebs.h"

namespace qlon {
class TSetup;
class TWeb;
}  // namespace qlon

namespace qlon::shell {

class TUnattended;

// What a new web starts from: a capture file whose options, start entries
// and title it copies, and a start address with its identity.
struct TNewWebSeed {
  std::string Url = {}, User = {}, Password = {};
  std::string BaseFile = {};
};

// What the wizard of a new web settled.
struct TNewWebChoice {
  std::filesystem::path File;  // the capture file to make
  bool CaptureNow = false;     // "OK et capturer"
};

// The window's side of the open web: what TWebSession asks of it.
class IWebSessionHost {
 public:
  virtual ~IWebSessionHost() = default;
  // A capture or a search holds the open web.
  virtual bool Busy() = 0;
  // False while a run or a search holds the open web (a search is asked to stop).
  virtual bool WebMayClose() = 0;
  // A list's header press or column drag in progress is forgotten.
  virtual void DropPending() = 0;
  // What the docked dialogs hold goes into the open web.
  virtual void CommitEdits() = 0;
  // The views show the web made current.
  virtual void ShowWeb(TWeb& web) = 0;
  // The views let the open web go; `closing`: its docked configuration too.
  virtual void HideWeb(bool closing) = 0;
  // The open web was closed: the home page unless `keepView`, the state follows.
  virtual void WebClosed(bool keepView) = 0;
  // The web was started afresh: the views show it again.
  virtual void WebReset(TWeb& web) = 0;
  // The web is about to be deleted: what points at it elsewhere (its bookmark) goes.
  virtual void WebDeleting(const TWeb& web) = 0;
  // The recent webs or their titles changed.
  virtual void RecentChanged() = 0;
  // The wizard on a new web seeded with `seed`. `acceptFolder` settles the
  // destination while the wizard is open (false: refused and said). Nothing
  // when cancelled or when nobody may answer.
  virtual std::optional<TNewWebChoice> AskNewWeb(TWeb& web, const TNewWebSeed& seed,
                                                 const std::function<bool(const std::string& folder)>& acceptFolder) = 0;
  // The capture file to open; empty when cancelled.
  virtual std::string AskWebFile() = 0;
  // Queues the capture of the web just made.
  virtual void StartCapture() = 0;
  // The hourglass, for the life of what is returned.
  virtual std::shared_ptr<void> Wait() = 0;
};

class TWebSession {
 public:
  TWebSession(IWebSessionHost& host, TSetup& setup, TUnattended& unattended, std::filesystem::path programFolder);
  ~TWebSession();
  TWebSession(const TWebSession&) = delete;
  TWebSession& operator=(const TWebSession&) = delete;

  TWeb* Web() const { return web_.get(); }
  const std::filesystem::path& ProgramFolder() const { return programFolder_; }

  // ---- the recent webs
  TRecentWebs& Recent() { return recent_; }
  // Puts the capture file at the head, saved at once.
  void AddRecent(const std::filesystem::path& file);
  // The open web's title changed.
  void Retitled();
  void OpenRecent(int index);

  // ---- the lifecycle
  // A new web from the wizard; `makeCurrent`: in place of the open web,
  // which is closed first (and the capture started when asked for).
  void New(const TNewWebSeed& seed, bool makeCurrent);
  // Opens the capture file (empty: asks for it) in place of the open web,
  // which is closed only once the file is open: a file that does not open
  // is said and the open web stays. The open web's own file leaves it as it
  // is. True when the file's web is current.
  bool Open(const std::string& path, bool keepView);
  // Makes the web current (it is open), with its opening note said.
  void Adopt(std::unique_ptr<TWeb> web);
  // A failure is shown, or given back in `failure` when one is given. With
  // nobody watching, the failure the road reported is not said twice (the
  // close that ends a shortcut's run saves again).
  bool Save(std::string* failure = nullptr);
  // False when the web stays open (Cancel, a failed save, a running capture).
  bool Close(bool keepView);
  // Deletes the web's files, and its folder when the user says so.
  void Delete();
  // Asks, then starts the web afresh (only for a web with records).
  void AskReset();
  // Deletes the captured files and starts the capture file again.
  void Reset();
  // The views let go of the open web and it is closed (the window goes).
  void Release();

  // ---- the web of a shortcut or a scheduled step
  // Makes the capture file's web current: empty, or what went wrong.
  std::string OpenForRun(const std::string& path);
  // Makes the step's web current; `loading` is called before it is read.
  bool OpenForStep(const std::string& path, const std::function<void()>& loading);

  // ---- the folder rules
  // Offers to empty a folder that is not empty; true when it is empty (or
  // missing) afterwards.
  bool ClearFolder(const std::string& folder);
  // Whether the folder may receive a new web: never one the program or the
  // user lives in, nor one that overlaps the open web's or holds files the
  // user keeps (after the offer to empty it). A refusal is said. When
  // accepted, the folder exists.
  bool AcceptNewWebFolder(const std::string& folder);

 private:
  bool replace(const std::string& path, bool keepView);
  std::unique_ptr<TWeb> newWebFrom(const TNewWebSeed& seed) const;
  bool makeCapture(TWeb& web, const std::filesystem::path& file, bool makeCurrent);
  bool mayDelete(const std::filesystem::path& folder) const;

  IWebSessionHost& host_;
  TSetup& setup_;
  TUnattended& unattended_;
  const std::filesystem::path programFolder_;
  std::unique_ptr<TWeb> web_;
  TRecentWebs recent_;
  // The last save failure given back to the road, which reported it;
  // cleared by a save that works.
  std::string reportedSaveFailure_;
};

}  // namespace qlon::shell
