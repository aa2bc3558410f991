#include "SearchPane.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QLineEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QScopeGuard>
#include <QSignalBlocker>
#include <QStringDecoder>
#include <algorithm>
#include <utility>
#include <vector>

#include "HtmlParser.h"
#include "MessageBox.h"
#include "Texts.h"
#include "Urlutil.h"
#include "Utils.h"
#include "W95Meter.h"
#include "WUrlList.h"
#include "Web.h"

namespace qlon::shell {

namespace {

const char* const kSearchCaption = "Rechercher";
const char* const kStopCaption = "Arrêter";

QString Text(std::string_view text) { return QString::fromUtf8(text.data(), qsizetype(text.size())); }

// Bytes as UTF-8: what is not valid UTF-8 is taken as Latin-1 (older pages
// and history files).
QString FromBytes(std::string_view bytes) {
  QStringDecoder decoder(QStringDecoder::Utf8);
  QString text = decoder.decode(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
  return decoder.hasError() ? QString::fromLatin1(bytes.data(), qsizetype(bytes.size())) : text;
}

// A text run as a reader sees it: UTF-8, references decoded, every run of
// blanks, line breaks and no-break spaces one blank.
std::string ReadableText(std::string_view raw) {
  std::string decoded;
  DecodeHtmlEntities(FromBytes(raw).toStdString(), false, decoded);
  std::string text;
  text.reserve(decoded.size());
  for (size_t i = 0; i < decoded.size(); ++i) {
    bool blank = decoded[i] == ' ';
    if (decoded[i] == '\xC2' && i + 1 < decoded.size() && decoded[i + 1] == '\xA0') blank = true, ++i;
    if (!blank)
      text += decoded[i];
    else if (!text.empty() && text.back() != ' ')
      text += ' ';
  }
  if (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

// Whether a start or end tag is an element that the scanner does not know
// by kind ("STYLE").
bool IsElement(std::string_view tag, std::string_view name) {
  size_t i = 1;
  if (i < tag.size() && tag[i] == '/') ++i;
  if (tag.size() < i + name.size() || !SameTextAscii(tag.substr(i, name.size()), name)) return false;
  const size_t after = i + name.size();
  return after == tag.size() || !std::isalnum(static_cast<unsigned char>(tag[after]));
}

std::vector<std::string> ListPagesOfType(TWeb& web, std::string_view type) {
  std::vector<std::string> urls;
  web.ForEach([&](TWebFile& record) {
    if (record.IsUrlRecord() && SameTextAscii(GetContentType(record), type)) urls.push_back(record.FullUrl);
    return true;
  });
  return urls;
}

bool FindSite(TWeb& web, const std::string& url, TWebFile& site) {
  const std::string wanted = TUrl(url).GetSiteUrl();
  for (bool more = web.FindFirstSite(); more; more = web.FindNextSite()) {
    if (!SameTextAscii(TUrl(web.Cursor().FullUrl).GetSiteUrl(), wanted)) continue;
    site.Assign(web.Cursor());
    site.FullUrl = web.Cursor().FullUrl;
    return true;
  }
  return false;
}

// The comparisons of one search. A URL or link must match whole when the
// pattern has wildcards and contain the pattern when it has none; a title
// or text run needs only to hold a match somewhere.
class TPageMatcher {
 public:
  TPageMatcher(const std::string& pattern, int kind)
      : pattern_(pattern), textMask_(HasWildcards(pattern) ? "*" + pattern + "*" : pattern), kind_(kind) {}

  bool UrlMatches(std::string_view url) const { return MatchWildcard(pattern_, url, false, true); }
  bool TextMatches(std::string_view text) const { return MatchWildcard(textMask_, text, false, true); }

  // The page's local file (missing, unreadable or oversized: no hit).
  bool PageMatches(const TWebFile& page) const {
    const std::string path = page.GetLocalPath();
    if (path.empty()) return false;
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly) || file.size() > TSearchPane::kMaxPageBytes) return false;
    THtmlParser parser(file);
    parser.Parse();
    return kind_ == 1 ? LinksMatch(parser, page.FullUrl) : TextsMatch(parser);
  }

 private:
  // A rewritten link keeps its former URL in OLDREF; another is compared as
  // written and as resolved against the page (and its BASE).
  bool LinksMatch(THtmlParser& parser, std::string base) const {
    TTagLink link;
    for (int i = 0; i < parser.GetCount(); ++i) {
      // What a rewrite inserted (script, banner, maps) is not the page's.
      if (const int end = parser.InsertedBlockEnd(i); end >= 0) {
        i = end;
        continue;
      }
      if (!parser.GetTagLink(i, link) || !(link.Flags & kTokenLinkTag) || !(link.Flags & kTokenStart)) continue;
      const std::string url = link.HasOldRef() ? link.GetOldUrl() : link.GetUrl();
      if (url.empty()) continue;
      if (link.Kind == tkBase) {
        base = ResolveUrl(url, base);
        continue;
      }
      if (UrlMatches(url) || UrlMatches(ResolveUrl(url, base))) return true;
    }
    return false;
  }

  // The title, the text right after the TITLE tag (kinds 2 and 4), and the
  // other text runs outside scripts, styles and what a rewrite inserted
  // (kinds 3 and 4). A page without "</TITLE>" keeps its text.
  bool TextsMatch(const THtmlParser& parser) const {
    const bool titles = kind_ == 2 || kind_ == 4, texts = kind_ == 3 || kind_ == 4;
    bool inScript = false, inStyle = false;
    for (int i = 0; i < parser.GetCount(); ++i) {
      if (const int end = parser.InsertedBlockEnd(i); end >= 0) {
        i = end;
        continue;
      }
      const TToken& token = parser.GetToken(i);
      const bool start = token.Flags & kTokenStart, endTag = token.Flags & kTokenEnd;
      if (token.Kind == tkScript) inScript = start;
      if (token.Kind == tkUnknown && (start || endTag) && IsElement(parser.TokenBytes(i), "STYLE")) inStyle = start;
      if (!(token.Flags & kTokenTextAfter) || inScript || inStyle) continue;
      if (token.Kind == tkTitle && start ? !titles : !texts) continue;
      if (TextMatches(ReadableText(parser.TextAfterBytes(i)))) return true;
    }
    return false;
  }

  std::string pattern_, textMask_;
  int kind_;
};

}  // namespace

// ------------------------------------------------------------- animation

TSearchAnimation::TSearchAnimation(QWidget* parent) : QWidget(parent) {
  animation_.setStartValue(0.0);
  animation_.setEndValue(360.0);
  animation_.setDuration(1200);
  animation_.setLoopCount(-1);
  connect(&animation_, &QVariantAnimation::valueChanged, this, [this] { update(); });
  setFixedSize(sizeHint());
}

void TSearchAnimation::Start() { animation_.start(); }

void TSearchAnimation::Stop() {
  animation_.stop();
  update();
}

void TSearchAnimation::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF page(6, 3, 18, 24);
  p.setPen(QPen(Qt::darkGray, 1));
  p.setBrush(Qt::white);
  p.drawRect(page);
  for (int k = 0; k < 5; ++k) p.drawLine(QPointF(9, 8 + 4 * k), QPointF(21, 8 + 4 * k));
  const double angle = Active() ? animation_.currentValue().toDouble() * M_PI / 180 : 0;
  const QPointF centre(15 + 4 * std::cos(angle), 14 + 4 * std::sin(angle));
  p.setPen(QPen(QColor(120, 80, 20), 3, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(centre + QPointF(4, 4), centre + QPointF(9, 9));
  p.setPen(QPen(Qt::black, 1.5));
  p.setBrush(QColor(160, 200, 255, 150));
  p.drawEllipse(centre, 5.5, 5.5);
}

// ------------------------------------------------------------------ pane

TSearchPane::TSearchPane(ISearchHost& host, TWUrlList& urlList, QWidget* parent)
    : QFrame(parent), host_(host), urlList_(urlList) {
  setObjectName("SearchPanel");
  setFrameShape(QFrame::StyledPanel);
  SearchTypeCB = new QComboBox(this);
  SearchTextCombo = new QComboBox(this);
  SearchTextCombo->setEditable(true);
  SearchTextCombo->setInsertPolicy(QComboBox::NoInsert);  // the history is kept by the button
  SearchStartBtn = new QPushButton(kSearchCaption, this);
  InfoLabel = new QLabel(this);
  SearchMeter = new controls::TW95Meter(this);
  SearchMeter->setFixedHeight(16);
  AnimateSearch = new TSearchAnimation(this);

  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(6, 6, 6, 6);
  grid->addWidget(SearchTypeCB, 0, 0, 1, 2);
  grid->addWidget(AnimateSearch, 0, 2, 2, 1, Qt::AlignCenter);
  grid->addWidget(InfoLabel, 1, 0, 1, 2);
  grid->addWidget(SearchTextCombo, 2, 0);
  grid->addWidget(SearchStartBtn, 2, 1, 1, 2);
  grid->addWidget(SearchMeter, 3, 0, 1, 3);
  grid->setColumnStretch(0, 1);

  connect(SearchTypeCB, &QComboBox::currentIndexChanged, this, [this] { SearchTypeCBChange(); });
  connect(SearchTextCombo, &QComboBox::editTextChanged, this, [this] { SearchTextComboChange(); });
  connect(SearchStartBtn, &QPushButton::clicked, this, [this] { SearchStartBtnClick(); });
  // Enter in the pattern is the button (which stays off without a pattern).
  connect(SearchTextCombo->lineEdit(), &QLineEdit::returnPressed, SearchStartBtn, &QPushButton::click);
}

TSearchPane::~TSearchPane() = default;

void TSearchPane::Setup() {
  info_ = TSearchInfo();
  resumable_ = false;
  searchedWeb_ = nullptr;
  {
    const QSignalBlocker blockKinds(SearchTypeCB), blockText(SearchTextCombo);
    SearchTypeCB->clear();
    for (int kind = 0; kind < kKindCount; ++kind) SearchTypeCB->addItem(Text(TextAt(kSearchModes, kind)));
    SearchTypeCB->setCurrentIndex(0);
    SearchTextCombo->clear();
    SearchTextCombo->setEditText({});
    const std::filesystem::path folder = host_.WorkFolder();
    QFile file(QString::fromStdString((folder / kHistoryFile).string()));
    if (!folder.empty() && file.open(QIODevice::ReadOnly)) {
      const QByteArray bytes = file.readAll();
      for (QByteArray line : bytes.split('\n')) {
        if (SearchTextCombo->count() >= kHistoryMax) break;
        if (line.endsWith('\r')) line.chop(1);
        const QString pattern = FromBytes(line.toStdString());
        if (!pattern.isEmpty() && SearchTextCombo->findText(pattern) < 0) SearchTextCombo->addItem(pattern);
      }
      SearchTextCombo->setEditText({});
    }
  }
  SearchMeter->SetPercent(0);
  SearchStartBtn->setText(kSearchCaption);
  SearchStartBtn->setEnabled(false);
  InfoLabel->setText(Text(TextAt(kSearchPrompts, 0)));
}

bool TSearchPane::Save() {
  info_.Position = 0;
  resumable_ = false;
  const std::filesystem::path folder = host_.WorkFolder();
  if (folder.empty()) return false;
  QSaveFile file(QString::fromStdString((folder / kHistoryFile).string()));
  if (!file.open(QIODevice::WriteOnly)) return false;
  for (const QString& pattern : History()) file.write(pattern.toUtf8() + "\r\n");
  return file.commit();
}

QStringList TSearchPane::History() const {
  QStringList items;
  for (int i = 0; i < SearchTextCombo->count(); ++i) items << SearchTextCombo->itemText(i);
  return items;
}

void TSearchPane::SearchFor(const QString& text, int kind) {
  if (kind < 0 || kind >= kKindCount) return;
  SearchTypeCB->setCurrentIndex(kind);
  SearchTextCombo->setEditText(text);
  host_.SelectTreePage(kSearchTreePage);
  QCoreApplication::processEvents();
  if (info_.Searching) {
    // A press now would only stop the running search: this one starts after it.
    info_.Stop = true;
    startPending_ = true;
    return;
  }
  host_.PostSearchStart();
}

void TSearchPane::ShowPane(bool visible) {
  setVisible(visible);
  if (!visible) {
    // The grid lists styles again: a search must not add to them.
    StopSearch();
    urlList_.NoExplore = false;
    return;
  }
  urlList_.NoExplore = true;
  urlList_.Reload();  // no rows of an earlier style fill
  SearchTypeCBChange();
}

void TSearchPane::SetSite(const std::string& url) {
  if (url == info_.SiteUrl) return;
  info_.SiteUrl = url;
  info_.NewSearch = true;
}

void TSearchPane::SearchTextComboChange() {
  // Changing the pattern while the button is enabled marks a new search.
  if (SearchStartBtn->isEnabled()) info_.NewSearch = true;
  // A running search keeps its button: it is the only way to stop it.
  SearchStartBtn->setEnabled(info_.Searching || !SearchTextCombo->currentText().isEmpty());
}

void TSearchPane::SearchTypeCBChange() {
  info_.NewSearch = true;
  const int kind = std::max(0, SearchTypeCB->currentIndex());
  urlList_.NoExplore = true;
  InfoLabel->setText(Text(TextAt(kSearchPrompts, kind)));
  urlList_.SetStyle(kind == 0 ? usFile : usHtml);
}

void TSearchPane::addToHistory(const QString& pattern) {
  if (SearchTextCombo->findText(pattern) >= 0) return;
  const QSignalBlocker block(SearchTextCombo);
  SearchTextCombo->insertItem(0, pattern);
  while (SearchTextCombo->count() > kHistoryMax) SearchTextCombo->removeItem(SearchTextCombo->count() - 1);
  SearchTextCombo->setEditText(pattern);  // removing the current item would change it
}

void TSearchPane::SearchStartBtnClick() {
  const QString text = SearchTextCombo->currentText();
  if (text.isEmpty() && !info_.Searching) return;
  if (!text.isEmpty()) addToHistory(text);
  const std::string pattern = text.toStdString();
  const int kind = SearchTypeCB->currentIndex();
  // The running search, else the last one when it stopped early, is the one
  // a press goes on with.
  if ((!info_.Searching && !resumable_) || pattern != info_.LastPattern || kind != info_.LastKind)
    info_.NewSearch = true;
  if (info_.Searching) {
    SearchStartBtn->setText(kSearchCaption);
    info_.Stop = true;
    return;
  }
  SearchStartBtn->setText(kStopCaption);
  RunSearch(pattern, kind);
}

void TSearchPane::RunSearch(const std::string& pattern, int kind) {
  if (pattern.empty() || kind < 0 || kind >= kKindCount || info_.Searching) return;
  TWeb* web = host_.CurrentWeb();
  if (web != searchedWeb_) {
    info_.NewSearch = true;
    info_.SiteUrl.clear();  // a site of another web
  }
  const bool fresh = info_.NewSearch;
  info_.Searching = true;
  info_.LastPattern = pattern;
  info_.LastKind = kind;
  info_.Stop = false;
  info_.NewSearch = false;
  if (fresh) info_.Position = 0;
  searchedWeb_ = web;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  AnimateSearch->Start();
  bool finished = true;
  const auto end = qScopeGuard([&] {
    resumable_ = !finished;
    if (finished) {
      info_.Position = 0;
      SearchMeter->SetPercent(0);
    }
    AnimateSearch->Stop();
    urlList_.Invalidate();
    QApplication::restoreOverrideCursor();
    SearchStartBtn->setText(kSearchCaption);
    info_.Searching = false;
    SearchStartBtn->setEnabled(!SearchTextCombo->currentText().isEmpty());
    host_.RefreshStatusHints();
    if (std::exchange(startPending_, false)) host_.PostSearchStart();
  });
  if (!web) return;
  // The rows are the hits: no style fill may mix in.
  urlList_.NoExplore = true;
  if (urlList_.Web() != web) urlList_.SetWeb(web);
  listed_.clear();
  if (fresh) {
    urlList_.Reload();
    SearchMeter->SetPercent(0);
  } else {
    for (int i = 0; i < urlList_.List().Count(); ++i) listed_.insert(urlList_.List().Url(i));
  }
  try {
    finished = kind == 0 ? searchUrls(*web, pattern) : searchPages(*web, pattern, kind);
  } catch (const Exception& e) {
    // A damaged capture file: the search ends, the web stays as it is.
    platform::MessageBox(e.what(), std::string(TextAt(kPageTitles, kSearchTreePage)),
                         platform::MB_OK | platform::MB_ICONERROR);
  }
}

bool TSearchPane::letEventsRun(TWeb& web) {
  QCoreApplication::processEvents();
  return !info_.Stop && host_.CurrentWeb() == &web;
}

void TSearchPane::addHit(const TWebFile& record) {
  // A search that goes on may meet again a record that moved in the walk.
  if (!listed_.empty() && !listed_.insert(record.FullUrl).second) return;
  urlList_.AddRecord(record);
}

bool TSearchPane::searchUrls(TWeb& web, const std::string& pattern) {
  TWebFile site(&web);
  const bool inSite = !info_.SiteUrl.empty();
  if (inSite && !FindSite(web, info_.SiteUrl, site)) return true;
  int64_t total = 0;
  if (inSite)
    web.ForEachInSite(site, [&](TWebFile&) {
      ++total;
      return true;
    });
  else
    total = web.GetCount();
  const TPageMatcher matcher(pattern, 0);
  const int skip = info_.Position;  // examined by the run that stopped
  int done = 0;
  auto visit = [&](TWebFile& record) {
    if (done < skip) {
      ++done;
      return true;
    }
    if (record.IsUrlRecord() && matcher.UrlMatches(record.FullUrl)) addHit(record);
    info_.Position = ++done;
    SearchMeter->SetPercent(int(done * 100 / std::max<int64_t>(total, done)));
    return letEventsRun(web);
  };
  return inSite ? web.ForEachInSite(site, visit) : web.ForEach(visit);
}

bool TSearchPane::searchPages(TWeb& web, const std::string& pattern, int kind) {
  const std::vector<std::string> pages = ListPagesOfType(web, "text/html");
  const TPageMatcher matcher(pattern, kind);
  TWebFile record(&web);
  for (size_t i = size_t(info_.Position); i < pages.size(); ++i) {
    if (web.FindUrl(pages[i], record) && matcher.PageMatches(record)) addHit(record);
    info_.Position = int(i + 1);
    SearchMeter->SetPercent(int((i + 1) * 100 / pages.size()));
    if (!letEventsRun(web)) return false;
  }
  return true;
}

}  // namespace qlon::shell
