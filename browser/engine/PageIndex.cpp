#include "PageIndex.h"

#include <algorithm>
#include <cstdio>
#include <tuple>

#include <QFile>
#include <QSize>
#include <QSaveFile>

#include "ImageSize.h"
#include "LocalPath.h"
#include "PageRewrite.h"
#include "ReplaceBatch.h"
#include "Setup.h"
#include "Urlutil.h"
#include "Utils.h"
#include "Web.h"

namespace qlon {

const std::array<std::string_view, kIndexMarkerCount> kIndexMarkers = {
    "SOMMAIRE",           "TITLE",
    "URL",                "HOMEPAGE",
    "STARTURL_TABLE",     "CAPTURE_DATE",
    "CAPTURE_TITLE",      "CAPTURE_URL",
    "CAPTURE_SIZE",       "CAPTURE_HOMEPAGE",
    "CAPTURE_IMAGECOUNT", "CAPTURE_ERRORCOUNT",
    "CAPTURE_NOTFOUNDCOUNT", "CAPTURE_HTMLCOUNT",
    "CAPTURE_FILTEREDCOUNT", "CAPTURE_TODOCOUNT",
    "PAGE_TITLE",         "PAGE_COUNT",
    "PAGE_NUMBER",        "PAGE_NEXT",
    "PAGE_BACK",          "PAGE_INDEX",
    "IMAGE_COUNT",        "IMAGE_TABLE",
    "HTML_TABLE",         "SOUND_TABLE",
    "VIDEO_TABLE",        "OTHER_TABLE",
    "WEB_TABLE",          "LOG_TABLE",
    "SITE_TITLE",
};

namespace {

constexpr std::string_view kCrLf = "\r\n";
constexpr std::string_view kMarkerLead = "QLON_";

// The first `count` characters (UTF-8 code points) of the text, and whether
// it had more.
std::string FirstChars(std::string_view text, size_t count, bool& longer) {
  size_t i = 0, chars = 0;
  while (i < text.size() && chars < count) {
    ++i;
    while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) ++i;
    ++chars;
  }
  longer = i < text.size();
  return std::string(text.substr(0, i));
}

std::string Cut(std::string_view text, size_t count, std::string_view tail) {
  bool longer = false;
  std::string s = FirstChars(text, count, longer);
  if (longer) s += tail;
  return s;
}

std::string FileNameOf(const std::string& localName) {
  const size_t slash = localName.rfind('/');
  return slash == std::string::npos ? localName : localName.substr(slash + 1);
}

bool IsWebUrl(const std::string& url) {
  const TUrl u(url);
  return IsAbsoluteUrl(u) && (u.Protocol == ipHttp || u.Protocol == ipFtp);
}

bool FileExists(const std::string& path) {
  std::error_code ec;
  return !path.empty() && std::filesystem::is_regular_file(path, ec);
}

std::string Text(std::string_view s) { return EscapeHtmlText(s); }

}  // namespace

// ---------------------------------------------------------------- TPageIndex

TPageIndex::TPageIndex(TIndexShared& shared, std::string prefix, const std::filesystem::path& templateFolder,
                       std::filesystem::path outputFolder, int rowsPerPage, int cellsPerRow)
    : Prefix(std::move(prefix)),
      RowsPerPage(std::max(rowsPerPage, 1)),
      CellsPerRow(std::max(cellsPerRow, 1)),
      shared_(shared),
      output_(std::move(outputFolder)) {
  const std::filesystem::path file = templateFolder / (Prefix + kTemplateExtension);
  QFile in(QString::fromStdString(file.string()));
  if (!in.open(QIODevice::ReadOnly)) throw EReadError("Impossible de lire le modèle " + file.string());
  const std::string bytes = in.readAll().toStdString();
  if (in.error() != QFileDevice::NoError) throw EReadError("Impossible de lire le modèle " + file.string());
  template_ = SplitString(bytes, '\n');
  for (std::string& line : template_)
    if (!line.empty() && line.back() == '\r') line.pop_back();
}

void TPageIndex::BeginSite(const std::string& title, const std::string& url, int firstPage,
                           const std::string& homePage) {
  FirstPage = firstPage;
  PageIndex = 0;
  ItemCount = 0;
  PageCount = 0;
  body_.clear();
  row_ = cell_ = onPage_ = 0;
  rowOpen_ = false;
  Title = title;
  SiteUrl = url;
  HomePage = homePage;
}

void TPageIndex::SetCount(int count) {
  ItemCount = std::max(count, 0);
  const int perPage = RowsPerPage * CellsPerRow;
  PageCount = (ItemCount + perPage - 1) / perPage;
  body_.clear();
}

int TPageIndex::NextFreePage() const { return FirstPage + std::max(PageCount, PageIndex); }

std::string TPageIndex::PageFileName(int number) const {
  if (number < 1) return Prefix + ".htm";
  char hex[16];
  std::snprintf(hex, sizeof hex, "%02X", unsigned(number));
  return Prefix + hex + ".htm";
}

std::string TPageIndex::GetPageTitle() const {
  std::string title = Cut(Title, 30, "...");
  if (PageIndex > 0) title += ", page " + std::to_string(PageIndex + 1) + " / " + std::to_string(PageCount);
  return title;
}

void TPageIndex::RowStart() {
  body_ += "<tr>";
  cell_ = 0;
  rowOpen_ = true;
}

void TPageIndex::RowEnd() {
  body_ += "</tr>";
  body_ += kCrLf;
  rowOpen_ = false;
  if (++row_ == RowsPerPage) body_ += kCrLf;
}

void TPageIndex::CellStart() {
  if (cell_ == 0 || cell_ >= CellsPerRow) RowStart();
  body_ += "<td ";
  if (Align > 0 && Align < int(kAlignNames.size())) body_ += "align=\"" + std::string(kAlignNames[size_t(Align)]) + "\" ";
  if (VAlign > 0 && VAlign < int(kAlignNames.size()))
    body_ += "valign=\"" + std::string(kAlignNames[size_t(VAlign)]) + "\" ";
  if (CellWidth != 0) body_ += "width=\"" + std::to_string(CellWidth) + "\" ";
  if (CellHeight != 0) body_ += "height=\"" + std::to_string(CellHeight) + "\" ";
  body_ += ">";
}

void TPageIndex::CellEnd() {
  body_ += "</td>";
  body_ += kCrLf;
  if (++cell_ >= CellsPerRow) RowEnd();
}

std::string TPageIndex::LocalLink(const std::string& path) const {
  return EscapeLocalLink(RelativePath((output_ / "x").string(), path));
}

std::string TPageIndex::FileLink(const TWebFile& record) const {
  const std::string path = ExistingPath(record);
  return LocalLink(!path.empty() ? path : Web().GetFolder() + kNotFoundPage);
}

namespace {

const TFileFact* FactOf(const TIndexShared& shared, const TWebFile& record) {
  if (!shared.Facts) return nullptr;
  const auto it = shared.Facts->find(record.FullUrl);
  return it == shared.Facts->end() ? nullptr : &it->second;
}

}  // namespace

std::string TPageIndex::ExistingPath(const TWebFile& record) const {
  const TFileFact* fact = FactOf(shared_, record);
  return fact ? fact->Path : record.GetExistingPath();
}

std::string TPageIndex::SizeText(const TWebFile& record) const {
  const TFileFact* fact = FactOf(shared_, record);
  return fact ? TWebFile::SizeText(fact->Size) : record.GetSizeText();
}

std::string TPageIndex::RecordTitle(const TWebFile& record) const {
  const TFileFact* fact = FactOf(shared_, record);
  if (!fact || !fact->HasTitle) return record.GetTitle();
  std::string decoded;
  DecodeHtmlEntities(fact->RawTitle, false, decoded);
  return decoded;
}

std::string TPageIndex::UrlLink(const TWebFile& record) const {
  return IsWebUrl(record.FullUrl) ? Text(record.FullUrl) : FileLink(record);
}

void TPageIndex::AddressRow(const TWebFile& record, const std::string& open, const std::string& close) {
  const std::string url = Text(record.FullUrl);
  RowStart();
  body_ += "<td align=\"left\"><li><a href=\"" + UrlLink(record) + "\" OLDREF=\"" + url + "\">" + open + url + close +
           "</a><br>&nbsp;&nbsp;" + Text(record.GetStateText()) + "</li></td>";
  RowEnd();
  cell_ = 1;
  Listed();
  if (PageFull()) FinishPage();
}

void TPageIndex::FinishPage() {
  if (onPage_ == 0 && !writeEmpty_) return;
  if (rowOpen_) RowEnd();
  body_ += kCrLf;
  const std::string page = Expand();
  const std::filesystem::path file = output_ / PageFileName(FirstPage + PageIndex);
  if (shared_.Batch) {
    if (!shared_.Batch->Stage(file, page)) throw EWriteError("Impossible d'écrire " + file.string());
  } else {
    QSaveFile out(QString::fromStdString(file.string()));
    if (!out.open(QIODevice::WriteOnly) || out.write(page.data(), qint64(page.size())) != qint64(page.size()) ||
        !out.commit())
      throw EWriteError("Impossible d'écrire " + file.string());
  }
  body_ = kCrLf;
  row_ = cell_ = onPage_ = 0;
  ++PageIndex;
}

std::string TPageIndex::Expand() const {
  std::string out;
  for (const std::string& source : template_) {
    std::string_view line = source;
    for (size_t at; !line.empty() && (at = line.find(kMarkerLead)) != std::string_view::npos;) {
      out.append(line.substr(0, at));
      line.remove_prefix(at + kMarkerLead.size());
      for (int m = 0; m < kIndexMarkerCount; ++m) {
        if (line.substr(0, kIndexMarkers[size_t(m)].size()) != kIndexMarkers[size_t(m)]) continue;
        line.remove_prefix(kIndexMarkers[size_t(m)].size());
        Substitute(out, m + 1);
        break;
      }
    }
    out.append(line);
    out += kCrLf;
  }
  return out;
}

void TPageIndex::Substitute(std::string& out, int marker) const {
  TWeb& web = Web();
  const std::string startUrl = web.StartEntries.empty() ? std::string() : web.StartEntries.front().Url;
  const std::string home = HomePage.empty() ? std::string() : LocalLink(HomePage);
  switch (marker) {
    case 1: out += summaryLink_; break;
    case 2: out += Text(web.GetTitle()); break;
    case 3: out += Text(startUrl); break;
    case 4: case 10: out += home; break;
    case 5: out += StartUrlTable(); break;
    case 6: out += Text(DateTimeText(web.CaptureDate)); break;
    case 7: out += Text(Title); break;
    case 8: out += Text(SiteUrl); break;
    case 9: {
      const int64_t size = std::max<int64_t>(web.TotalSize, 0);
      out += size < 1025 ? std::to_string(size) + " Octets" : std::to_string(size / 1024) + " Ko";
      break;
    }
    case 12: out += std::to_string(web.ErrorCount); break;
    case 13: out += std::to_string(web.NotFoundCount); break;
    case 14: out += std::to_string(shared_.HtmlPageCount); break;
    case 15: out += std::to_string(web.FilteredCount); break;
    case 17: out += Text(GetPageTitle()); break;
    case 18: out += std::to_string(PageCount); break;
    case 19: out += std::to_string(PageIndex + 1); break;
    case 20: out += PageIndex + 1 >= PageCount ? summaryLink_ : PageFileName(FirstPage + PageIndex + 1); break;
    case 21: out += PageIndex == 0 ? summaryLink_ : PageFileName(FirstPage + PageIndex - 1); break;
    case 22: out += PageLinks(); break;
    case 24: case 25: case 26: case 27: case 28: out += body_; break;
    default: break;  // 11, 16, 23, 29-31: nothing here
  }
}

std::string TPageIndex::StartUrlTable() const {
  std::string s = "<table border=\"0\" width=\"100%\">\r\n";
  for (const TStartEntry& entry : Web().StartEntries) {
    const std::string url = entry.FullUrl();
    std::string link, text;
    TWebFile record(&Web());
    if (Web().FindUrl(url, record) && !record.IsRedirect() && record.IsRetrieved() &&
        FileExists(record.GetLocalPath())) {
      link = LocalLink(record.GetLocalPath());
      text = record.GetTitle();
      if (text.empty()) text = url;
    } else {
      link = IsWebUrl(url) ? url : LocalLink(Web().GetFolder() + kNotFoundPage);
      text = url;
    }
    s += "\t<tr><td>\r\n\t<a href=\"" + Text(link) + "\" >" + "<font size=\"3\" face=\"Arial\">" + Text(text) +
         "</font></a>" + "\r\n" + "</td></tr>" + "\r\n";
  }
  return s + "</table>\r\n";
}

std::string TPageIndex::PageLinks() const {
  std::string s = "<table border=\"0\" cellspacing=\"5\">";
  const int step = std::max(1, (PageCount + 49) / 50);
  int page = 0;
  for (int row = 0; row < 2 && page < PageCount; ++row) {
    s += "<tr><font size=\"2\" face=\"Arial\">";
    for (int cell = 0; cell < 25 && page < PageCount; ++cell, page += step) {
      s += "<td>";
      if (cell == 0) s += row == 0 ? "Page n°</td><td>" : "</td><td>";
      if (page == PageIndex)
        s += "<blink><b>" + std::to_string(page + 1) + "</b></blink></td>";
      else
        s += "<a href=\"" + PageFileName(FirstPage + page) + "\">" + std::to_string(page + 1) + "</a></td>";
      s += kCrLf;
    }
    s += "</font></tr>";
    s += kCrLf;
  }
  return s + "</table>\r\n";
}

// ---------------------------------------------------------------- the four kinds

THtmlIndex::THtmlIndex(TIndexShared& shared, const std::filesystem::path& templates, std::filesystem::path output,
                       const TSommaireParam& param)
    : TPageIndex(shared, "_ixh", templates, std::move(output), param.LigByPage, 2) {
  Title = "Index des pages ";
}

bool THtmlIndex::Accepts(const TWebFile& record) const {
  return record.IsRetrieved() && !record.IsRedirect() && record.GetLinkType() == 0 && record.IsHtmlPage();
}

bool THtmlIndex::Add(const TWebFile& record) {
  if (!Accepts(record)) return false;
  if (cell_ == 0) {
    RowStart();
    body_ += "<td width=\"20\">&nbsp</td>\r\n";
  }
  const std::string page = FileLink(record);
  bool hasThumbnail = false;
  const std::string thumbnail = record.GetThumbnailPath(&hasThumbnail);
  std::string title = RecordTitle(record);
  if (title.empty()) title = FileNameOf(record.GetLocalName());
  const std::string font = "<font face=\"Arial\" size=\"2\">";
  body_ += "<td align=\"center\"><a href=\"" + page + "\">";
  // Without a thumbnail the cell stays empty rather than showing a broken image.
  body_ += hasThumbnail
               ? "<img src=\"" + LocalLink(thumbnail) + "\" border=\"0\" alt=\"Vignette\">"
               : std::string("&nbsp;");
  body_ += "</a></td>\r\n<td width=\"500\"><table border=\"0\">\r\n";
  body_ += "<tr><td>" + font + "<b><a href=\"" + page + "\">" + Text(Cut(title, 40, "..")) + "</a></b></font></td></tr>\r\n";
  body_ += "<tr><td>" + font + "<a href=\"" + UrlLink(record) + "\">" + Text(Cut(record.FullUrl, 40, "..")) +
           "</a></font></td></tr>\r\n";
  body_ += "<tr><td>" + font + "<b>" + Text("Taille : " + SizeText(record)) + "</b></font></td></tr>\r\n";
  body_ += "</table></td>\r\n";
  Listed();
  if (++cell_ >= CellsPerRow) {
    cell_ = 0;
    RowEnd();
  }
  if (row_ >= RowsPerPage) FinishPage();
  return true;
}

TImageIndex::TImageIndex(TIndexShared& shared, const std::filesystem::path& templates, std::filesystem::path output,
                         const TSommaireParam& param)
    : TPageIndex(shared, "_ixi", templates, std::move(output), param.ImgLigByPage, param.ImgColByPage),
      ImgSize(std::max(param.ImgSize, 1)),
      ImgSizeMin(param.ImgSizeMin),
      ImgRatio(param.ImgRatio) {
  Title = "Index des images ";
  Align = 5;
}

void TImageIndex::Substitute(std::string& out, int marker) const {
  if (marker == 11)
    out += std::to_string(ItemCount);
  else
    TPageIndex::Substitute(out, marker);
}

bool TImageIndex::Accepts(const TWebFile& record) const {
  return record.IsRetrieved() && !record.IsRedirect() && record.GetMimeIndex() != 0 && IsImage(record);
}

// The record's size; a capture made before its kind was measured (PNG,
// SVG) has none, and its file still tells.
std::pair<int, int> TImageIndex::Dimensions(const TWebFile& record) const {
  int w = record.GetWidth(), h = record.GetHeight();
  if (w > 0 && h > 0) return {w, h};
  QSize size;
  if (const std::string path = ExistingPath(record); !path.empty() && GetImageSize(QString::fromStdString(path), size)) {
    w = size.width();
    h = size.height();
  }
  return {w, h};
}

bool TImageIndex::Lists(int w, int h) const { return !(w > 0 && h > 0 && w < ImgSizeMin && h < ImgSizeMin); }

bool TImageIndex::Lists(const TWebFile& record) const {
  const auto [w, h] = Dimensions(record);
  return Lists(w, h);
}

bool TImageIndex::Add(const TWebFile& record) {
  if (!Accepts(record)) return false;
  ++ImagesSeen;
  const auto [w, h] = Dimensions(record);
  if (!Lists(w, h)) return true;
  int dw = ImgSize, dh = ImgSize;
  if (ImgRatio && w > 0 && h > 0) {
    if (w <= ImgSize && h <= ImgSize) {
      dw = w;
      dh = h;
    } else if (h >= w) {
      dw = ImgSize * w / h;
    } else {
      dh = ImgSize * h / w;
    }
  }
  const std::string file = FileLink(record), size = std::to_string(ImgSize);
  CellStart();
  body_ += "<table border=\"0\" cellspacing=\"0\" cellpadding=\"0\">\r\n";
  body_ += "<tr><td width=\"" + size + "\" height=\"" + size + "\" align=\"center\" valign=\"middle\"><a href=\"" +
           file + "\"><img src=\"" + file + "\" width=\"" + std::to_string(dw) + "\" height=\"" + std::to_string(dh) +
           "\" border=\"0\"></a></td></tr>\r\n";
  body_ += "<tr><td align=\"center\"><font face=\"Arial\" size=\"2\"><a href=\"" + file + "\">(" + std::to_string(w) +
           "x" + std::to_string(h) + ")</a><br><a href=\"" + UrlLink(record) + "\">" +
           Text(FileNameOf(record.GetLocalName())) + "</a></font></td></tr>\r\n";
  body_ += "</table>";
  Listed();
  CellEnd();
  if (PageFull()) FinishPage();
  return true;
}

TOtherIndex::TOtherIndex(TIndexShared& shared, const std::filesystem::path& templates, std::filesystem::path output,
                         const TSommaireParam& param)
    : TPageIndex(shared, "_ixo", templates, std::move(output), param.LigByPage, 1) {
  Title = "Index des fichiers";
}

bool TOtherIndex::Accepts(const TWebFile& record) const { return record.IsRetrieved() && !record.IsRedirect(); }

bool TOtherIndex::Add(const TWebFile& record) {
  if (!Accepts(record)) return false;
  const std::string font = "<font face=\"Arial\" size=\"2\">";
  RowStart();
  body_ += "<td>" + font + "<a href=\"" + FileLink(record) + "\" OLDREF=\"" + Text(record.FullUrl) + "\">" +
           Text(record.FullUrl) + "</a></font></td>";
  body_ += "<td>" + font + Text(GetContentType(record)) + "</font></td>";
  body_ += "<td>" + font + Text(SizeText(record)) + "</font></td>";
  RowEnd();
  cell_ = 1;
  Listed();
  if (PageFull()) FinishPage();
  return true;
}

TErrorIndex::TErrorIndex(TIndexShared& shared, const std::filesystem::path& templates, std::filesystem::path output,
                         const TSommaireParam& param)
    : TPageIndex(shared, "_ixe", templates, std::move(output), param.LigByPage, 1) {
  Title = "Index des erreurs";
}

bool TErrorIndex::Accepts(const TWebFile& record) const {
  return !record.IsRedirect() && (record.GetState() == fsError || record.GetState() == fsNotFound);
}

bool TErrorIndex::Add(const TWebFile& record) {
  if (!Accepts(record)) return false;
  AddressRow(record, "<font face=\"Arial\" size=\"3\"><b>", "</b></font>");
  return true;
}

TFilterIndex::TFilterIndex(TIndexShared& shared, const std::filesystem::path& templates, std::filesystem::path output,
                           const TSommaireParam& param)
    : TPageIndex(shared, "_ixf", templates, std::move(output), param.LigByPage, 1) {
  Title = "Index des adresses filtrées";
}

bool TFilterIndex::Accepts(const TWebFile& record) const {
  return !record.IsRedirect() && record.IsFiltered() && record.GetState() != fsNotFiltered;
}

bool TFilterIndex::Add(const TWebFile& record) {
  if (!Accepts(record)) return false;
  AddressRow(record, "<font face=\"Arial\" size=\"2\">", "</font>");
  return true;
}

// ---------------------------------------------------------------- TSommaireIndex

std::filesystem::path TSommaireIndex::DefaultTemplateFolder() {
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return (ec ? std::filesystem::path(".") : exe.parent_path()) / kIndexFolder;
}

TSommaireIndex::TSommaireIndex(TWeb& web, const TSommaireParam& param, std::filesystem::path templateFolder)
    : TPageIndex(Shared, "_Accueil", templateFolder.empty() ? DefaultTemplateFolder() : templateFolder,
                 web.GetFolder(), 100, web.Options.FilteredUrlFlag ? 6 : 5) {
  Shared.Web = &web;
  if (templateFolder.empty()) templateFolder = DefaultTemplateFolder();
  summaryLink_ = kSummaryPage;
  writeEmpty_ = true;
  FirstPage = 0;
  Title = web.GetTitle();
  const std::filesystem::path index = std::filesystem::path(web.GetFolder()) / kIndexFolder;
  Images = std::make_unique<TImageIndex>(Shared, templateFolder, index, param);
  Html = std::make_unique<THtmlIndex>(Shared, templateFolder, index, param);
  Others = std::make_unique<TOtherIndex>(Shared, templateFolder, index, param);
  Errors = std::make_unique<TErrorIndex>(Shared, templateFolder, index, param);
  if (web.Options.FilteredUrlFlag) Filtered = std::make_unique<TFilterIndex>(Shared, templateFolder, index, param);
  if (!CreateLocalFolder(web.GetFolder(), kIndexFolder)) throw EWriteError("Impossible de créer " + index.string());
  RemoveOldPages(index);
  CopyFilesByMask(index.string() + "/", templateFolder.string() + "/", "+*.*,-*.ht_");
}

TSommaireIndex::~TSommaireIndex() = default;

std::vector<TPageIndex*> TSommaireIndex::Kinds() const {
  std::vector<TPageIndex*> kinds = {Images.get(), Html.get(), Others.get(), Errors.get()};
  if (Filtered) kinds.push_back(Filtered.get());
  return kinds;
}

// The pages of an earlier resolution: a kind that has fewer pages now must
// not leave pages behind that list records which are gone.
void TSommaireIndex::RemoveOldPages(const std::filesystem::path& index) {
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(index, ec)) {
    const std::string name = entry.path().filename().string();
    for (const std::string prefix : {"_ixh", "_ixi", "_ixo", "_ixe", "_ixf"}) {
      if (name.size() < prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0 ||
          name.compare(name.size() - 4, 4, ".htm") != 0)
        continue;
      const std::string digits = name.substr(prefix.size(), name.size() - prefix.size() - 4);
      if (digits.find_first_not_of("0123456789ABCDEF") == std::string::npos && entry.is_regular_file(ec))
        std::filesystem::remove(entry.path(), ec);
    }
  }
}

TIndexKind TSommaireIndex::Classify(const TWebFile& record) const {
  if (Images->Accepts(record)) return Images->Lists(record) ? TIndexKind::Image : TIndexKind::ImageUnlisted;
  if (Html->Accepts(record)) return TIndexKind::Html;
  if (Others->Accepts(record)) return TIndexKind::Other;
  if (Errors->Accepts(record)) return TIndexKind::Error;
  if (Filtered && Filtered->Accepts(record)) return TIndexKind::Filtered;
  return TIndexKind::None;
}

void TSommaireIndex::SummaryCell(const std::string& width, const std::string& content) {
  if (cell_ == 0 || cell_ >= CellsPerRow) RowStart();
  body_ += "<td";
  if (Align > 0 && Align < int(kAlignNames.size())) body_ += " align=\"" + std::string(kAlignNames[size_t(Align)]) + "\"";
  if (VAlign > 0 && VAlign < int(kAlignNames.size()))
    body_ += " valign=\"" + std::string(kAlignNames[size_t(VAlign)]) + "\"";
  if (!width.empty()) body_ += " width=\"" + width + "\"";
  body_ += ">" + content;
  CellEnd();
}

void TSommaireIndex::AddSite(const std::string& title, const std::string& url, bool withHomeLink, int otherCount,
                             int listedImageCount, int errorCount, int imageCount, int htmlCount, int /*recordCount*/,
                             const std::string& homeFile, int filteredCount) {
  TPageIndex::Title = title;
  SiteUrl = url;
  HomePage = homeFile.empty() ? std::string() : Web().GetFolder() + homeFile;
  const std::pair<TPageIndex*, int> counts[] = {
      {Images.get(), listedImageCount}, {Html.get(), htmlCount}, {Others.get(), otherCount},
      {Errors.get(), errorCount},       {Filtered.get(), filteredCount}};
  for (auto [index, count] : counts) {
    if (!index) continue;
    index->BeginSite(title, url, index->NextFreePage(), HomePage);
    index->SetCount(count);
  }
  std::string home = Text(title);
  if (withHomeLink && FileExists(HomePage))
    home = "<a href=\"" + LocalLink(HomePage) + "\" OLDREF=\"" + Text(url) +
           "\"><font size=\"3\" face=\"Arial\"><b>" + Text(title) + "</b></font></a>\r\n";
  SummaryCell("200", home);
  (void)imageCount;  // the link follows the images listed, not the images seen
  const std::tuple<TPageIndex*, int, const char*, const char*> cells[] = {
      {Html.get(), htmlCount, "HTML", "    "},
      {Images.get(), listedImageCount, "Images", "      "},
      {Others.get(), Others->ItemCount, "Autres", "      "},
      {Errors.get(), Errors->ItemCount, "Erreurs", "       "},
      {Filtered.get(), Filtered ? Filtered->ItemCount : 0, "Filtrés", "       "}};
  for (auto [index, count, name, blanks] : cells) {
    if (!index) continue;
    SummaryCell({}, count > 0 ? "<a href=\"" + std::string(kIndexFolder) + "/" + index->PageFileName(index->FirstPage) +
                                    "\" OLDREF=\"\"><font size=\"3\" face=\"Arial\">" + name + "</font></a>\r\n"
                              : std::string(blanks));
  }
  Listed();
}

bool TSommaireIndex::Add(const TWebFile& record) {
  if (!Images->Add(record) && !Html->Add(record) && !Others->Add(record) && !Errors->Add(record) && Filtered)
    Filtered->Add(record);
  return true;
}

void TSommaireIndex::FinishSite() {
  for (TPageIndex* index : Kinds()) index->FinishPage();
}

void TSommaireIndex::Close() { FinishPage(); }

std::string TSommaireIndex::GetPageTitle() const { return Web().GetTitle(); }

}  // namespace qlon
