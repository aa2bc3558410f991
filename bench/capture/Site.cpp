#include "Site.h"

#include <QBuffer>
#include <QImage>
#include <QColor>

#include <cstdio>
#include <utility>

#include "GifWriter.h"

namespace qlon::bench {

namespace {

std::string Format(const char* format, int a, int b = 0) {
  char text[64];
  std::snprintf(text, sizeof text, format, a, b);
  return text;
}

const char* const kWords[] = {"capture", "lecture", "hors", "ligne", "page", "image", "lien", "site",
                              "dossier", "serveur", "réponse", "texte", "titre", "section", "copie", "fichier"};

// A paragraph of filler text that differs from page to page.
std::string Filler(int seed, int words) {
  std::string text;
  unsigned x = unsigned(seed) * 2654435761u + 1;
  for (int i = 0; i < words; ++i) {
    x = x * 1103515245u + 12345u;
    text += kWords[(x >> 16) % 16];
    text += (i % 12 == 11) ? ".\n" : " ";
  }
  return text;
}

std::string Link(const std::string& href, const std::string& text) {
  return "<a href=\"" + href + "\">" + text + "</a>\n";
}

}  // namespace

Site::Site(int pages, int images, std::string origin, std::string external)
    : pages_(pages < 1 ? 1 : pages), images_(images < 0 ? 0 : images), origin_(std::move(origin)),
      external_(std::move(external)) {}

void Site::SetImages(std::vector<std::string> gifs, std::vector<std::string> jpegs) {
  gifs_ = std::move(gifs);
  jpegs_ = std::move(jpegs);
}

std::string Site::PagePath(int n) { return Format("/s%02d/p%03d.html", n / kPerSection, n % kPerSection); }

std::string Site::ImagePath(int i) {
  return Format("/img/d%02d/i%05d", i / 100, i) + (i % 2 ? ".jpg" : ".gif");
}

// "pMMM.html": the page's path within its section folder.
std::string Site::PageName(int n) { return Format("p%03d.html", n % kPerSection); }

std::string Site::Relative(int fromPage, int toPage) const {
  if (fromPage / kPerSection == toPage / kPerSection) return PageName(toPage);
  return ".." + PagePath(toPage);
}

std::string Site::IndexHtml(SiteLinks* count) const {
  std::string html = "<html><head><title>Site de test</title></head><body>\n<h1>Sections</h1>\n";
  html += "<img src=\"img/logo.gif\" alt=\"logo\">\n";
  for (int s = 0; s < Sections(); ++s) html += Link(Format("s%02d/index.html", s), Format("Section %d", s));
  if (count) count->local += std::size_t(Sections()) + 1;
  return html + "</body></html>\n";
}

std::string Site::SectionHtml(int s, SiteLinks* count) const {
  std::string html = Format("<html><head><title>Section %d</title></head><body>\n", s);
  html += Link("../index.html", "Accueil");
  int links = 1;
  for (int n = s * kPerSection; n < pages_ && n < (s + 1) * kPerSection; ++n, ++links)
    html += Link(PageName(n), Format("Page %d", n));
  if (count) count->local += std::size_t(links);
  return html + "</body></html>\n";
}

std::string Site::PageHtml(int n, SiteLinks* count) const {
  const int P = pages_;
  std::string html = Format("<html><head><title>Page %d</title></head>\n<body>\n<h1>Page %d</h1>\n", n, n);
  html += "<img src=\"/img/logo.gif\" alt=\"logo\">\n";
  std::size_t local = 1, errors = 0, external = 0;
  // This page's own images: relative, every third one root-relative.
  const int first = int(int64_t(n) * images_ / P), last = int(int64_t(n + 1) * images_ / P);
  for (int i = first; i < last; ++i, ++local) {
    const std::string path = ImagePath(i);
    html += "<img src=\"" + (i % 3 == 0 ? path : ".." + path) + "\" width=\"16\" height=\"16\">\n";
  }
  html += "<p>" + Filler(n, 120) + "</p>\n";
  html += Link("../index.html", "Accueil") + Link("index.html", "Section");
  html += Link(Relative(n, (n + 1) % P), "Suivante");
  html += Link(Relative(n, (n * 7 + 3) % P), "Voir aussi");
  html += Link(PagePath((n * 13 + 5) % P), "Autre section");
  html += Link(origin_ + PagePath((n * 31 + 11) % P), "Lien absolu");
  html += Link(Relative(n, (n * 17 + 1) % P) + "#suite", "Plus loin");
  local += 7;
  html += "<p>" + Filler(n + 7, 80) + "</p>\n";
  if (n % 10 == 0) html += Link("/go/" + std::to_string(n), "Déplacée"), ++local;
  if (n % 25 == 0) html += Link("/missing/" + std::to_string(n) + ".html", "Disparue"), ++errors;
  if (n % 50 == 25) html += Link("/broken/" + std::to_string(n) + ".html", "En panne"), ++errors;
  html += Link(external_ + "/ext/" + std::to_string(n) + ".html", "Ailleurs"), ++external;
  if (count) {
    count->local += local;
    count->errors += errors;
    count->external += external;
  }
  return html + "</body></html>\n";
}

SiteLinks Site::CountLinks() const {
  SiteLinks count;
  IndexHtml(&count);
  for (int s = 0; s < Sections(); ++s) SectionHtml(s, &count);
  for (int n = 0; n < pages_; ++n) PageHtml(n, &count);
  return count;
}

SiteReply Site::Reply(const std::string& rawTarget) const {
  std::string target = rawTarget.substr(0, rawTarget.find_first_of("?#"));
  SiteReply reply;
  auto html = [&](std::string body) {
    reply.type = "text/html";
    reply.body = std::move(body);
    return reply;
  };
  auto error = [&](int status) {
    reply.status = status;
    return html(Format("<html><body><h1>Erreur %d</h1></body></html>\n", status));
  };
  int a = -1, b = -1;
  char tail[8] = {};
  if (target == "/" || target == "/index.html") return html(IndexHtml(nullptr));
  if (target == "/img/logo.gif") {
    if (gifs_.empty()) return error(404);
    reply.type = "image/gif";
    reply.body = gifs_.front();
    return reply;
  }
  // Numbers of any width, each target checked against the one the site
  // writes, so that every page of a site of any size answers.
  if (std::sscanf(target.c_str(), "/s%d/index.htm%1s", &a, tail) == 2 && tail[0] == 'l' && a >= 0 &&
      a < Sections() && target == Format("/s%02d/index.html", a))
    return html(SectionHtml(a, nullptr));
  if (std::sscanf(target.c_str(), "/s%d/p%d.htm%1s", &a, &b, tail) == 3 && tail[0] == 'l' && a >= 0 && b >= 0 &&
      b < kPerSection && a < Sections()) {
    const int n = a * kPerSection + b;
    if (n < pages_ && target == PagePath(n)) return html(PageHtml(n, nullptr));
  }
  if (std::sscanf(target.c_str(), "/img/d%d/i%d", &a, &b) == 2 && b >= 0 && b < images_ && target == ImagePath(b)) {
    const auto& set = b % 2 ? jpegs_ : gifs_;
    if (set.empty()) return error(404);
    reply.type = b % 2 ? "image/jpeg" : "image/gif";
    reply.body = set[std::size_t(b / 2) % set.size()];
    return reply;
  }
  if (std::sscanf(target.c_str(), "/go/%d", &a) == 1 && target == "/go/" + std::to_string(a) && a < pages_) {
    reply.status = a % 20 == 0 ? 301 : 302;
    reply.location = origin_ + PagePath((a * 3 + 7) % pages_);
    return html("<html><body>Déplacée</body></html>\n");
  }
  if (target.rfind("/broken/", 0) == 0) return error(500);
  return error(404);
}

namespace {

// A small picture with some structure (a disc on a plain ground), so that
// the encoders have real work.
QImage Picture(int w, int h, int seed) {
  QImage image(w, h, QImage::Format_RGB32);
  const QRgb ground = QColor::fromHsv((seed * 47) % 360, 160, 230).rgb();
  const QRgb disc = QColor::fromHsv((seed * 47 + 180) % 360, 200, 120).rgb();
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int dx = 2 * x - w, dy = 2 * y - h;
      image.setPixel(x, y, dx * dx * h * h + dy * dy * w * w < w * w * h * h / 4 ? disc : ground);
    }
  return image;
}

const std::pair<int, int> kSizes[] = {{16, 16}, {32, 24}, {48, 32}, {64, 48}, {24, 64}, {80, 60}, {40, 40}, {100, 20}};

}  // namespace

std::vector<std::string> MakeGifs() {
  std::vector<std::string> out;
  int seed = 0;
  for (auto [w, h] : kSizes) {
    std::string bytes = qlon::zoom::EncodeGif(Picture(w, h, seed++).convertToFormat(QImage::Format_Indexed8));
    if (!bytes.empty()) out.push_back(std::move(bytes));
  }
  return out;
}

std::vector<std::string> MakeJpegs() {
  std::vector<std::string> out;
  int seed = 3;
  for (auto [w, h] : kSizes) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (Picture(w, h, seed++).save(&buffer, "JPG", 80)) out.emplace_back(bytes.constData(), std::size_t(bytes.size()));
  }
  return out;
}

}  // namespace qlon::bench
