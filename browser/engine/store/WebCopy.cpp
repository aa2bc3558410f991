// Copy and move of a capture to another folder (TWeb members declared in Web.h).
//
// Order, so that a failure at any point loses nothing:
//   1. the destination is checked (not inside the capture folder nor holding
//      it, no capture there yet); then the capture is saved;
//   2. the records' files, the index files, the thumbnails, the image-map
//      files and the capture file are copied, each target created new (an
//      existing file is never overwritten) and its size checked against the
//      source; a move also copies the rest of the capture folder;
//   3. the copied capture file is opened read-only and must hold every
//      record, and every copied file must be there; the copies are synced;
//   4. a move closes the capture, opens the copy, and only then deletes the
//      source files it copied, what a killed run left (the files made ahead,
//      the staged pages: never part of the capture) and the folders that
//      became empty.
// Any failure in 1-3 removes what the copy wrote and throws ECopyWeb; the
// source is untouched until 4, which starts only after a complete copy.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QBuffer>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>

#include "DlgCopy.h"
#include "FilePool.h"
#include "LocalPath.h"
#include "ReplaceBatch.h"
#include "Texts.h"
#include "Web.h"

namespace qlon {

namespace fs = std::filesystem;

namespace {

constexpr const char* kIndexFolder = "Index";
constexpr const char* kThumbFolder = "thumb";

// The reasons in French, as every message of the copy.
std::string Reason() { return SystemErrorText(errno); }
std::string Reason(const std::error_code& ec) { return SystemErrorText(ec.value()); }

bool IsInside(const fs::path& folder, const fs::path& p) {
  auto f = folder.begin();
  auto q = p.begin();
  for (; f != folder.end() && !f->empty(); ++f, ++q)
    if (q == p.end() || *f != *q) return false;
  return true;
}

fs::path Canonical(const fs::path& p) {
  std::error_code ec;
  fs::path c = fs::weakly_canonical(fs::absolute(p, ec), ec);
  if (ec) throw ECopyWeb("Impossible d'examiner le dossier " + p.string() + " : " + Reason(ec));
  return c.lexically_normal();
}

bool HasWebExtension(const fs::path& p) {
  const std::string ext = p.extension().string();
  return ext.size() == 4 && SameTextAscii(ext, ".web");
}

// Closes a descriptor on every path out.
struct Fd {
  int fd = -1;
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
};

}  // namespace

struct TWeb::TCopyRun {
  bool Move = false;
  fs::path Source;               // the capture folder
  std::string OwnFile, Journal;  // the capture file's name and its journal's, copied apart
  fs::path Destination;          // as given, made absolute
  TPerFileEvent Event;
  TDlgCopy* Dialog = nullptr;
  std::vector<fs::path> CreatedFiles;    // at the destination, for the undo
  std::vector<fs::path> CreatedFolders;  // in creation order
  std::set<std::string> Copied;          // relative names copied, capture file included
  std::vector<std::pair<std::string, uint64_t>> Files;  // relative name, size

  fs::path Target(const std::string& name) const {
    auto p = LocalNameToPath(Destination, name);
    if (!p) throw ECopyWeb("Le nom " + name + " ne peut pas être utilisé dans " + Destination.string());
    return *p;
  }

  // The folders of a relative folder name, made one by one so that the
  // undo knows which ones are the copy's.
  void MakeFolders(const std::string& name) {
    std::string prefix;
    for (const std::string& part : SplitString(name, '/')) {
      if (part.empty()) continue;
      prefix += prefix.empty() ? part : "/" + part;
      const fs::path p = Target(prefix);
      std::error_code ec;
      if (fs::create_directory(p, ec)) {
        CreatedFolders.push_back(p);
      } else if (ec || !fs::is_directory(fs::symlink_status(p))) {
        throw ECopyWeb("Impossible de créer le dossier " + p.string() + (ec ? " : " + Reason(ec) : ""));
      }
    }
  }

  // Creates the target new and fills it from read(buffer, size), which
  // returns the bytes read, 0 at the end, or -1 with errno set.
  template <typename Read>
  void Write(const std::string& name, const std::string& sourceText, Read read) {
    const size_t slash = name.rfind('/');
    if (slash != std::string::npos) MakeFolders(name.substr(0, slash));
    const fs::path target = Target(name);
    Fd out;
    out.fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (out.fd < 0) {
      if (errno == EEXIST) throw ECopyWeb("La destination contient déjà " + target.string());
      throw ECopyWeb("Impossible de créer " + target.string() + " : " + Reason());
    }
    CreatedFiles.push_back(target);
    static thread_local char buffer[1 << 16];
    uint64_t total = 0;
    for (;;) {
      const ssize_t got = read(buffer, sizeof buffer);
      if (got < 0) throw ECopyWeb("Impossible de lire " + sourceText + " : " + Reason());
      if (got == 0) break;
      for (ssize_t done = 0; done < got;) {
        const ssize_t put = ::write(out.fd, buffer + done, size_t(got - done));
        if (put < 0) {
          if (errno == EINTR) continue;
          throw ECopyWeb("Impossible d'écrire " + target.string() + " : " + Reason());
        }
        done += put;
      }
      total += uint64_t(got);
    }
    if (::close(out.fd) != 0) {
      out.fd = -1;
      throw ECopyWeb("Impossible d'écrire " + target.string() + " : " + Reason());
    }
    out.fd = -1;
    Copied.insert(name);
    Files.emplace_back(name, total);
  }

  // A file of the capture folder to the same relative place.
  void CopyFile(const fs::path& source, const std::string& name) {
    Fd in;
    in.fd = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (in.fd < 0) throw ECopyWeb("Impossible de lire " + source.string() + " : " + Reason());
    struct stat st {};
    if (::fstat(in.fd, &st) != 0) throw ECopyWeb("Impossible de lire " + source.string() + " : " + Reason());
    Write(name, source.string(), [&](char* b, size_t n) {
      for (;;) {
        const ssize_t got = ::read(in.fd, b, n);
        if (got >= 0 || errno != EINTR) return got;
      }
    });
    if (Files.back().second != uint64_t(st.st_size))
      throw ECopyWeb(source.string() + " a changé pendant sa copie");
    // The copy keeps the file's date, which the update of the capture compares.
    std::error_code ec;
    fs::last_write_time(Target(name), fs::last_write_time(source, ec), ec);
  }

  // The plain files with clean names under `top`, a folder of the capture
  // folder (the whole capture folder when empty), each to the same place.
  // Links and names no capture makes stay, among them the leftovers of a
  // killed run, whose folders hold ":".
  void CopyFolder(const std::string& top) {
    const fs::path from = top.empty() ? Source : Source / top;
    std::error_code ec;
    if (!top.empty() && !fs::is_directory(fs::symlink_status(from, ec))) return;
    fs::recursive_directory_iterator it(from, ec), end;
    if (ec) throw ECopyWeb("Impossible de lire le dossier " + from.string() + " : " + Reason(ec));
    for (; it != end; it.increment(ec)) {
      if (ec) throw ECopyWeb("Impossible de lire le dossier " + from.string() + " : " + Reason(ec));
      const std::string name = it->path().lexically_relative(Source).generic_string();
      const auto source = LocalNameToPath(Source, name);
      const fs::file_status st = it->symlink_status(ec);
      if (!source || !IsCleanLocalName(name)) {
        if (fs::is_directory(st)) it.disable_recursion_pending();
        continue;  // stays in the source
      }
      if (fs::is_directory(st)) {
        MakeFolders(name);
      } else if (fs::is_regular_file(st) && name != OwnFile && name != Journal && !Copied.count(name)) {
        CopyFile(*source, name);
      }
    }
  }

  // The destination checked (not inside the capture folder nor holding it,
  // no capture there yet) and its missing folders made, for the undo to
  // remove.
  void PrepareDestination() {
    const fs::path source = Canonical(Source), target = Canonical(Destination);
    if (IsInside(source, target))
      throw ECopyWeb("La destination " + Destination.string() + " se trouve dans le dossier du Web " +
                     Source.string());
    if (IsInside(target, source))
      throw ECopyWeb("Le dossier du Web " + Source.string() + " se trouve dans la destination " +
                     Destination.string());
    std::error_code ec;
    if (fs::exists(fs::symlink_status(Destination, ec))) {
      if (!fs::is_directory(Destination, ec))
        throw ECopyWeb("La destination " + Destination.string() + " n'est pas un dossier");
      for (const fs::directory_entry& e : fs::directory_iterator(Destination, ec))
        if (HasWebExtension(e.path()) || e.path().filename() == fs::path(Journal))
          throw ECopyWeb("La destination " + Destination.string() + " contient déjà un Web (" +
                         e.path().filename().string() + ")");
      if (ec) throw ECopyWeb("Impossible de lire la destination " + Destination.string() + " : " + Reason(ec));
      return;
    }
    // The missing folders of the destination, outermost first.
    std::vector<fs::path> missing;
    for (fs::path p = Destination; !p.empty() && !fs::exists(fs::symlink_status(p, ec)); p = p.parent_path()) {
      missing.push_back(p);
      if (p == p.parent_path()) break;
    }
    for (auto p = missing.rbegin(); p != missing.rend(); ++p) {
      if (!fs::create_directory(*p, ec) || ec) {
        Undo();
        throw ECopyWeb("Impossible de créer le dossier " + p->string() + " : " + Reason(ec));
      }
      CreatedFolders.push_back(*p);
    }
  }

  // After a move, once the copy is open: the source files it copied, what a
  // killed run left (never part of the capture) and the folders that became
  // empty, deepest first; the others keep what was not copied.
  void RemoveSource() {
    std::error_code ec;
    for (const std::string& name : Copied)
      if (auto p = LocalNameToPath(Source, name)) fs::remove(*p, ec);
    for (const char* leftover : {kPoolFolder, kStagingFolder}) fs::remove_all(Source / leftover, ec);
    std::vector<fs::path> folders;
    for (auto it = fs::recursive_directory_iterator(Source, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
      if (it->is_directory(ec) && !it->is_symlink(ec)) folders.push_back(it->path());
    std::sort(folders.begin(), folders.end(),
              [](const fs::path& a, const fs::path& b) { return a.string().size() > b.string().size(); });
    for (const fs::path& f : folders) fs::remove(f, ec);
    fs::remove(Source, ec);
  }

  void Undo() noexcept {
    std::error_code ec;
    for (auto f = CreatedFiles.rbegin(); f != CreatedFiles.rend(); ++f) fs::remove(*f, ec);
    for (auto d = CreatedFolders.rbegin(); d != CreatedFolders.rend(); ++d) fs::remove(*d, ec);  // empty ones only
    CreatedFiles.clear();
    CreatedFolders.clear();
  }
};

bool TWeb::CopyTo(const fs::path& destination, TPerFileEvent event, ICopyView* view) {
  return CopyOrMove(destination, std::move(event), view, false);
}

bool TWeb::MoveTo(const fs::path& destination, TPerFileEvent event, ICopyView* view) {
  return CopyOrMove(destination, std::move(event), view, true);
}

bool TWeb::CopyOrMove(const fs::path& destination, TPerFileEvent event, ICopyView* view, bool move) {
  if (copy_) throw ECopyWeb("Une copie de ce Web est déjà en cours");
  if (!IsFileOpen()) throw ECopyWeb("Aucun Web n'est ouvert");
  if (destination.empty()) throw ECopyWeb("Aucun dossier de destination n'a été indiqué");

  TCopyRun run;
  run.Move = move;
  run.Source = path_.parent_path();
  // With or without its trailing "/": the same folder.
  run.Destination = NormalFolder(fs::absolute(destination));
  run.Event = std::move(event);
  run.OwnFile = path_.filename().string();
  run.Journal = TWebStream::JournalPath(path_).filename().string();

  // 1. The destination.
  run.PrepareDestination();

  copy_ = &run;
  TDlgCopy dialog(view);
  run.Dialog = &dialog;
  try {
    Save();
    dialog.SetDestination(run.Destination.string());
    dialog.SetCaption(move ? "Déplacer un Web..." : "Copier un Web...");
    // 2. The copy.
    const bool complete = dialog.ExecuteForWeb(*this, [this](TWebFile& r) { return CopyRecordFile(r); });
    if (move && !complete) {
      run.Undo();
      copy_ = nullptr;
      return false;
    }
    CopyIndexFiles();
    CopyCaptureFile();
    if (move) CopyRest();
    // 3. The check.
    VerifyCopy();
  } catch (const Exception& e) {
    run.Undo();
    copy_ = nullptr;
    if (dynamic_cast<const ECopyWeb*>(&e)) throw;
    throw ECopyWeb(e.what());
  } catch (...) {
    run.Undo();
    copy_ = nullptr;
    throw;
  }
  copy_ = nullptr;
  if (!move) return true;

  // 4. The switch to the copy, then the source goes.
  OpenMovedCopy(run);
  run.RemoveSource();
  return true;
}

// The capture closed and opened again from the destination; when the copy
// does not open, the source is opened again and the copy removed.
void TWeb::OpenMovedCopy(TCopyRun& run) {
  const fs::path oldPath = path_;
  const fs::path newPath = run.Destination / oldPath.filename();
  TWebLoadResult opened = wlOpenError;
  std::string why;
  try {
    Close();  // its save leaves the file as copied
    opened = Open(newPath);
  } catch (const Exception& e) {
    why = e.what();
  }
  if (opened == wlOk) return;
  DiscardTree();
  stream_.reset();
  run.Undo();
  Open(oldPath);
  throw ECopyWeb("Impossible d'ouvrir le Web déplacé " + newPath.string() + (why.empty() ? "" : " : " + why) +
                 " ; il reste dans " + run.Source.string());
}

bool TWeb::CopyRecordFile(TWebFile& record) {
  if (!copy_ || !record.IsRetrieved() || record.IsRedirect()) return true;
  const std::string name = record.GetLocalName();
  const auto source = LocalNameToPath(copy_->Source, name);
  std::error_code ec;
  if (!source || !fs::is_regular_file(fs::symlink_status(*source, ec)) || copy_->Copied.count(name)) return true;
  if (copy_->Event) copy_->Event(record);
  copy_->Dialog->ShowFileName(record.GetFileName());
  copy_->Dialog->ShowSource(source->parent_path().string());
  copy_->CopyFile(*source, name);
  return true;
}

void TWeb::CopyIndexFiles() {
  if (!copy_) return;
  const auto copyMatching = [this](const std::string& folder) {
    const fs::path from = folder.empty() ? copy_->Source : copy_->Source / folder;
    std::error_code ec;
    if (!fs::is_directory(fs::symlink_status(from, ec))) return;
    StringList names;
    ListFiles((from / (folder.empty() ? "_*.*" : "*.*")).string(), names);
    for (const std::string& file : names) {
      const std::string name = folder.empty() ? file : folder + "/" + file;
      const auto source = LocalNameToPath(copy_->Source, name);
      if (!source || copy_->Copied.count(name) || !fs::is_regular_file(fs::symlink_status(*source, ec))) continue;
      copy_->CopyFile(*source, name);
    }
  };
  copyMatching("");
  copyMatching(kIndexFolder);
  // The pages' thumbnails, which the index pages show, and the zones drawn
  // on the image maps belong to the capture as much.
  copy_->CopyFolder(kThumbFolder);
  std::error_code ec;
  for (int i = 0; i < Maps.Count(); ++i) {
    const std::string& name = Maps[i].MapFile;
    const auto source = name.empty() ? std::nullopt : LocalNameToPath(copy_->Source, name);
    if (source && !copy_->Copied.count(name) && fs::is_regular_file(fs::symlink_status(*source, ec)))
      copy_->CopyFile(*source, name);
  }
}

void TWeb::CopyCaptureFile() {
  if (!copy_ || !stream_) return;
  Save();
  const std::string name = path_.filename().string();
  uint64_t at = 0;
  const uint64_t size = stream_->Size();
  try {
    copy_->Write(name, path_.string(), [&](char* b, size_t n) -> ssize_t {
      const size_t got = stream_->ReadSome(at, b, size_t(std::min<uint64_t>(n, size - at)));
      at += got;
      return ssize_t(got);
    });
  } catch (const EWebStream& e) {
    throw ECopyWeb(std::string("Impossible de lire le fichier du Web : ") + e.what());
  }
  if (at != size) throw ECopyWeb("Le fichier du Web " + path_.string() + " n'a pas pu être lu en entier");
}

// The rest of the capture folder (a move leaves nothing behind): anything
// else that is a plain file with a clean name.
void TWeb::CopyRest() { copy_->CopyFolder({}); }

void TWeb::VerifyCopy() {
  TCopyRun& run = *copy_;
  const fs::path file = run.Destination / path_.filename();
  TWebStream stream(file, TWebStream::Mode::ReadOnly);
  QByteArray area(int(kWebHeaderSize), '\0');
  area.resize(qsizetype(stream.ReadSome(0, area.data(), kWebHeaderSize)));
  QBuffer in(&area);
  in.open(QIODevice::ReadOnly);
  TWeb copy;
  struct Discard {
    TWeb& web;
    ~Discard() { web.DiscardTree(); }
  } discard{copy};
  if (copy.ReadHeader(in) != wlOk || !copy.OpenTree(run.Destination.string(), &stream, kWebHeaderSize))
    throw ECopyWeb("Impossible de relire le fichier du Web copié " + file.string());
  copy.CheckTree();
  if (copy.GetCount() != GetCount())
    throw ECopyWeb("Le fichier du Web copié " + file.string() + " contient " + std::to_string(copy.GetCount()) +
                   " liens au lieu de " + std::to_string(GetCount()));
  for (const auto& [name, size] : run.Files) {
    std::error_code ec;
    const auto p = LocalNameToPath(run.Destination, name);
    if (!p || fs::file_size(*p, ec) != size || ec) throw ECopyWeb("La copie de " + name + " est incomplète");
  }
  // Durable before a move deletes the source.
  Fd folder;
  folder.fd = ::open(run.Destination.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder.fd < 0 || ::syncfs(folder.fd) != 0) throw ECopyWeb("Impossible d'écrire la copie sur le disque : " + Reason());
}

bool CopyWebFile(const fs::path& file, const fs::path& destination, bool move, TWeb::TPerFileEvent event,
                 ICopyView* view) {
  TWeb web;
  TWebLoadResult opened = wlOpenError;
  try {
    opened = web.Open(file);
  } catch (const EWebStream& e) {
    throw ECopyWeb("Impossible d'ouvrir le Web " + file.string() + " (ouvert ailleurs ?) : " + e.what());
  }
  if (opened != wlOk) throw ECopyWeb(file.string() + " n'est pas un Web lisible");
  const bool done = move ? web.MoveTo(destination, std::move(event), view) : web.CopyTo(destination, std::move(event), view);
  web.Close();
  return done;
}

}  // namespace qlon
