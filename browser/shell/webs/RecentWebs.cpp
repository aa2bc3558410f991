#include "RecentWebs.h"

#include <QSaveFile>
#include <fstream>

#include "MainWebOps.h"
#include "Setup.h"
#include "Web.h"

namespace qlon::shell {

namespace fs = std::filesystem;

std::vector<std::string> TRecentWebs::Read(const fs::path& workFolder) {
  std::vector<std::string> files;
  std::ifstream in(workFolder / kFileName, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::error_code ec;
    if (!line.empty() && fs::is_regular_file(line, ec)) files.push_back(line);
  }
  return files;
}

TRecentWebs::TRecentWebs(const TSetup& setup) : setup_(setup) {}

fs::path TRecentWebs::File() const { return fs::path(setup_.WorkPath) / kFileName; }

QString TRecentWebs::TitleOf(const std::string& file, const TWeb* open) {
  QString title =
      QString::fromStdString(open && SamePath(open->Path(), file) ? open->GetTitle() : ReadWebTitle(file));
  if (title.isEmpty()) title = QString::fromStdString(fs::path(file).parent_path().string());
  if (title.size() > kTitleMax) title = title.left(kTitleMax) + "...";
  return title;
}

void TRecentWebs::Load(const TWeb* open) {
  paths_.clear();
  titles_.clear();
  for (const std::string& file : Read(setup_.WorkPath)) {
    paths_ << QString::fromStdString(file);
    titles_ << TitleOf(file, open);
  }
}

void TRecentWebs::Add(const fs::path& file, const TWeb* open) {
  Remove(file.string());
  paths_.prepend(QString::fromStdString(file.string()));
  titles_.prepend(TitleOf(file.string(), open));
}

void TRecentWebs::Retitle(const TWeb& open) {
  if (const qsizetype at = paths_.indexOf(QString::fromStdString(open.Path().string())); at >= 0)
    titles_[at] = TitleOf(open.Path().string(), &open);
}

void TRecentWebs::Remove(const std::string& file) {
  if (const qsizetype at = paths_.indexOf(QString::fromStdString(file)); at >= 0) {
    paths_.removeAt(at);
    titles_.removeAt(at);
  }
}

bool TRecentWebs::Save() const {
  QSaveFile file(QString::fromStdString(File().string()));
  if (!file.open(QIODevice::WriteOnly)) return false;
  for (const QString& path : paths_) file.write(path.toUtf8() + '\n');
  return file.commit();
}

}  // namespace qlon::shell
