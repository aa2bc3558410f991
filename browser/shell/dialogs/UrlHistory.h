#pragma once
// The start addresses typed in the capture wizard, the last first, kept in
// "uhistory.lst" of the work folder (one address a line, CR LF), at most
// kMax of them and each once.
#include <QStringList>
#include <filesystem>

namespace qlon::shell {

class TUrlHistory {
 public:
  static constexpr int kMax = 40;
  static constexpr const char* kFile = "uhistory.lst";

  // Reads the folder's list; none (an empty list) without a folder or file.
  void Load(const std::filesystem::path& folder);
  // Replaces the folder's list; false when it could not be written.
  bool Save(const std::filesystem::path& folder) const;
  // The address goes first, leaving its older place; the oldest beyond kMax go.
  void Add(const QString& url);
  const QStringList& Items() const { return items_; }

 private:
  QStringList items_;
};

}  // namespace qlon::shell
