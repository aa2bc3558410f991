// Tag scanner throughput: tokenizing alone, and tokenizing plus building
// every link, over a large page (a file given as argument, else a generated
// page shaped like a portal's front page: head, scripts, navigation lists,
// articles with inline markup, entities and images, comments).
//
//   bench_tagscan [page.html] [repetitions]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <QBuffer>
#include <QFile>

#include "HtmlParser.h"

using namespace qlon;

namespace {

std::string GeneratedPage(size_t target) {
  std::string page =
      "<!DOCTYPE html>\n<html lang=\"fr\"><head><meta charset=\"utf-8\">\n"
      "<title>Le portail &mdash; actualit&eacute;s</title>\n"
      "<link rel=\"stylesheet\" href=\"/css/main.css?v=3\">\n"
      "<script>window.dataLayer=[];for(var i=0;i<10;i++){if(i<5&&i>2)dataLayer.push(i);}</script>\n"
      "</head><body class=\"home\" background=\"/img/bg.png\">\n";
  int n = 0;
  while (page.size() < target) {
    std::string k = std::to_string(n++);
    page += "<!-- bloc " + k + " -->\n<nav class=\"menu\"><ul>\n";
    for (int i = 0; i < 8; ++i)
      page += "  <li class=\"item\"><a href=\"/rubrique/" + std::to_string(i) + "/index.html\" title='Rubrique " +
              std::to_string(i) + "'>Rubrique&nbsp;" + std::to_string(i) + "</a></li>\n";
    page += "</ul></nav>\n<article id=\"a" + k + "\"><h2><a href=\"/articles/" + k +
            ".html#haut\">Titre de l&#8217;article " + k + "</a></h2>\n"
            "<img src=\"/img/photo" + k + ".jpg\" srcset=\"/img/photo" + k + "-2x.jpg 2x, /img/photo" + k +
            "-3x.jpg 3x\" alt=\"Photo " + k + "\" width=640 height=360>\n"
            "<p>Lorem ipsum <b>dolor</b> sit amet, <i>consectetur</i> adipiscing elit &amp; sed do "
            "eiusmod tempor incididunt ut labore et dolore magna aliqua. Ut enim ad minim veniam, "
            "quis nostrud exercitation &lt;ullamco&gt; laboris nisi ut aliquip ex ea commodo.</p>\n"
            "<p>Duis aute irure dolor in <a href=https://exemple.fr/lien" + k +
            ">reprehenderit</a> in voluptate velit esse cillum dolore eu fugiat nulla pariatur.</p>\n"
            "<script type=\"text/javascript\">if (a" + k + " < b && c > d) { track('" + k +
            "'); }</script>\n<form action=\"/recherche\" method=get><input type=text name=q>"
            "<input type=image src=\"/img/ok.gif\"></form></article>\n";
  }
  return page + "</body></html>\n";
}

double Seconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

}  // namespace

int main(int argc, char** argv) {
  QByteArray bytes;
  if (argc > 1) {
    QFile f(argv[1]);
    if (!f.open(QIODevice::ReadOnly)) {
      std::fprintf(stderr, "cannot read %s\n", argv[1]);
      return 1;
    }
    bytes = f.readAll();
  } else {
    std::string page = GeneratedPage(32u << 20);
    bytes = QByteArray(page.data(), static_cast<qsizetype>(page.size()));
  }
  const int reps = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  const double mb = bytes.size() / 1048576.0;

  QBuffer buffer(&bytes);
  buffer.open(QIODevice::ReadOnly);
  THtmlParser parser(buffer);
  double bestParse = 1e9, bestLinks = 1e9;
  size_t links = 0;
  for (int r = 0; r < reps; ++r) {
    auto t0 = std::chrono::steady_clock::now();
    parser.Parse();
    auto t1 = std::chrono::steady_clock::now();
    TTagLink link;
    links = 0;
    for (int i = 0; i < parser.GetCount(); ++i)
      if (parser.GetTagLink(i, link) && (link.Flags & kTokenLinkTag) && !link.GetUrl().empty()) ++links;
    auto t2 = std::chrono::steady_clock::now();
    bestParse = std::min(bestParse, Seconds(t1 - t0));
    bestLinks = std::min(bestLinks, Seconds(t2 - t0));
  }
  std::printf("page: %.1f MB, %d tokens, %zu links\n", mb, parser.GetCount(), links);
  std::printf("tokenize:          %8.1f MB/s\n", mb / bestParse);
  std::printf("tokenize + links:  %8.1f MB/s\n", mb / bestLinks);
  return 0;
}
