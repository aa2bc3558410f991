#include "UrlHistory.h"

#include <QSaveFile>
#include <fstream>
#include <string>

namespace qlon::shell {

namespace fs = std::filesystem;

void TUrlHistory::Load(const fs::path& folder) {
  items_.clear();
  if (folder.empty()) return;  // never a file of the current folder
  std::ifstream in(folder / kFile, std::ios::binary);
  std::string line;
  while (items_.size() < kMax && std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const QString url = QString::fromStdString(line).trimmed();
    if (!url.isEmpty() && !items_.contains(url)) items_ << url;
  }
}

bool TUrlHistory::Save(const fs::path& folder) const {
  if (folder.empty()) return false;
  QSaveFile file(QString::fromStdString((folder / kFile).string()));
  if (!file.open(QIODevice::WriteOnly)) return false;
  for (const QString& url : items_) file.write(url.toUtf8() + "\r\n");
  return file.commit();
}

void TUrlHistory::Add(const QString& url) {
  items_.removeAll(url);
  items_.prepend(url);
  while (items_.size() > kMax) items_.removeLast();
}

}  // namespace qlon::shell
