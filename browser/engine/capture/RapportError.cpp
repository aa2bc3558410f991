#include "RapportError.h"

#include <QBuffer>
#include <QFile>
#include <QSaveFile>

#include "HtmlParser.h"
#include "LocalPath.h"
#include "Urlutil.h"
#include "Utils.h"
#include "Web.h"

namespace qlon {

namespace {

std::string Entry(const std::string& lead, const std::string& url, const std::string& text) {
  return lead + "<a href=\"" + EscapeHtmlText(url) + "\">" + EscapeHtmlText(text) + "</a>\r\n";
}

}  // namespace

int TRapportError::Run() {
  cancelled_ = false;
  Scan();
  if (!cancelled_) WriteReport();
  return cancelled_ ? rrCancelled : rrFinished;
}

void TRapportError::Scan() {
  Graph.Clear();
  Gone.clear();
  GoneLinkedFrom.clear();
  host_.SetGauge(int(web_.GetCount()));
  host_.ShowState("Recherche des pages HTML...");
  host_.ShowFile("");
  web_.ForEach([this](TWebFile& page) {
    if (cancelled_) return false;
    host_.StepGauge();
    host_.ProcessMessages();
    if (!page.IsRetrieved() || page.IsRedirect()) return true;
    if (page.IsGone()) Gone.push_back(page.FullUrl);
    if (!page.IsHtmlPage()) return true;
    host_.ShowFile(page.GetLocalName());
    QFile file(QString::fromStdString(page.GetLocalPath()));
    if (page.GetLocalPath().empty() || !file.open(QIODevice::ReadOnly)) return true;
    QByteArray bytes = file.readAll();
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    THtmlParser parser(buffer);
    parser.Parse();
    const std::string pageUrl = page.FullUrl;
    int pageNode = -1;
    TTagLink link;
    TWebFile target(&web_);
    for (int i = 0; i < parser.GetCount(); ++i) {
      if (!parser.GetTagLink(i, link) || !(link.Flags & kTokenLinkTag) || !(link.Flags & kTokenStart)) continue;
      const std::string url = link.HasOldRef() ? link.GetOldUrl() : ResolveUrl(link.GetUrl(), pageUrl);
      if (url.empty() || !web_.FindUrl(url, target)) continue;
      if (target.GetState() == fsError) {
        if (pageNode < 0) pageNode = Graph.AddNode(pageUrl, 1);
        Graph.Link(pageNode, Graph.AddNode(target.FullUrl, 0));
      } else if (target.IsRetrieved() && target.IsGone() && target.FullUrl != pageUrl) {
        std::vector<std::string>& pages = GoneLinkedFrom[target.FullUrl];
        if (pages.empty() || pages.back() != pageUrl) pages.push_back(pageUrl);  // once per page
      }
    }
    return true;
  });
}

void TRapportError::WriteReport() {
  host_.ShowState("Création du rapport d'erreurs");
  CreateLocalFolder(web_.GetFolder(), "Index");
  const auto path = LocalNameToPath(web_.GetFolder(), kReportPage);
  if (!path) throw EWriteError("Impossible de créer le rapport des erreurs");
  std::string out = "<html><title>Rapport des erreurs</title><body>\r\n<br><h2>Pages HTML ayant des erreurs</h2>\r\n";
  auto neighbours = [&](int node) {
    Graph.ForEachNeighbour(node, [&](const std::string& url) {
      out += Entry("<br><li>", url, url);
      return true;
    });
  };
  for (int n = 0; n < Graph.Count() && !cancelled_; ++n) {
    if (Graph.GetTag(n) != 1) continue;
    out += Entry("<br><br>", Graph.GetName(n), Graph.GetName(n));
    neighbours(n);
    host_.ProcessMessages();
  }
  out += "<br><h2>Liste des erreurs</h2>\r\n";
  TWebFile record(&web_);
  for (int n = 0; n < Graph.Count() && !cancelled_; ++n) {
    if (Graph.GetTag(n) != 0 || !web_.FindUrl(Graph.GetName(n), record)) continue;
    out += "\r\n";
    out += Entry("<br><br>", Graph.GetName(n), Graph.GetName(n) + " [" + record.GetStateText() + "]");
    neighbours(n);
    host_.ProcessMessages();
  }
  if (!Gone.empty()) {
    out += "<br><h2>Liste des URL disparues du serveur</h2>\r\n<br>";
    out += Gone.size() == 1 ? "1 URL n'existe plus sur le serveur depuis la dernière mise à jour : la capture garde "
                              "sa copie précédente.\r\n"
                            : std::to_string(Gone.size()) +
                                  " URL n'existent plus sur le serveur depuis la dernière mise à jour : la capture "
                                  "garde leurs copies précédentes.\r\n";
  }
  for (size_t n = 0; n < Gone.size() && !cancelled_; ++n) {
    const std::string& url = Gone[n];
    if (!web_.FindUrl(url, record)) continue;
    out += "\r\n";
    out += Entry("<br><br>", url, url + " [" + record.GetStateText() + "]");
    if (auto it = GoneLinkedFrom.find(url); it != GoneLinkedFrom.end())
      for (const std::string& page : it->second) out += Entry("<br><li>", page, page);
    host_.ProcessMessages();
  }
  // What the capture file had no room for is no error of a server's, but
  // is missing all the same.
  if (const TWeb::TLeftOut leftOut = web_.CountLeftOut(); leftOut.Count() > 0 && !cancelled_) {
    out += "<br><h2>Adresses non capturées</h2>\r\n";
    for (const QString& line : QString::fromStdString(TWeb::LeftOutText(leftOut)).split("\r\n"))
      out += "<br>" + EscapeHtmlText(line.toStdString()) + "\r\n";
    web_.ForEachInOverflow([&](TWebFile& r, bool) {
      if (r.GetState() == fsFilteredDefault) out += Entry("<br><li>", r.FullUrl, r.FullUrl);
      return true;
    });
  }
  out += "<br></body></html>\r\n";
  if (cancelled_) return;  // no half report
  QSaveFile file(QString::fromStdString(path->string()));
  if (!file.open(QIODevice::WriteOnly) || file.write(out.data(), qint64(out.size())) != qint64(out.size()) ||
      !file.commit())
    throw EWriteError("Impossible d'écrire " + path->string());
}

}  // namespace qlon
