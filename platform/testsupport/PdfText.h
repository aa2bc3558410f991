#pragma once
// The text of each page of a PDF file, read back with poppler's pdftotext;
// nothing when the tool is not installed (the caller skips), an empty list
// when it cannot read the file.
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <filesystem>
#include <optional>

namespace qlon::test {

inline std::optional<QStringList> PdfPages(const std::filesystem::path& pdf) {
  const QString tool = QStandardPaths::findExecutable("pdftotext");
  if (tool.isEmpty()) return std::nullopt;
  QProcess p;
  p.start(tool, {"-layout", QString::fromStdString(pdf.string()), "-"});
  if (!p.waitForFinished(30000) || p.exitCode() != 0) return QStringList{};
  QStringList pages = QString::fromUtf8(p.readAllStandardOutput()).split('\f');
  if (!pages.isEmpty() && pages.last().trimmed().isEmpty()) pages.removeLast();
  return pages;
}

}  // namespace qlon::test
