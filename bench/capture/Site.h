#pragma once
// The generated web site that the capture benchmark serves: pages in
// sections, images in folders, links of every shape a crawler meets
// (relative, "../", root-relative, absolute, with a fragment), redirects,
// errors and links to another host. Everything is computed from the target
// on demand, so nothing of the site stays in memory.
//
//   /index.html                   the start page: one link per section
//   /sNN/index.html               a section: one link per page of it
//   /sNN/pMMM.html                a page: about a dozen links, its images
//   /img/dNN/iNNNNN.gif|.jpg      an image (even numbers GIF, odd JPEG)
// (NN and NNNNN take more digits as the site grows: 100,000 pages make
// 1,000 sections of 100, and with 2.5 images a page 2,500 image folders,
// all well within the 32,767 folders a capture file holds for one site.)
//   /img/logo.gif                 on every page
//   /go/N                         301 (N a multiple of 20) or 302 to a page
//   /missing/N.html  404          /broken/N.html  500
// Pages link to "External" (another host and port), which a capture of
// this site must not fetch.
#include <cstddef>
#include <string>
#include <vector>

namespace qlon::bench {

struct SiteReply {
  int status = 200;
  std::string type;
  std::string location;
  std::string body;
};

struct SiteLinks {
  std::size_t local = 0;     // links to the site whose target exists (after redirects)
  std::size_t errors = 0;    // links to a 404 or 500
  std::size_t external = 0;  // links to the other host
};

class Site {
 public:
  Site(int pages, int images, std::string origin, std::string external);

  // The reply to a request target ("/s01/p002.html", query ignored).
  SiteReply Reply(const std::string& target) const;
  // The links the site's pages hold, by kind of target.
  SiteLinks CountLinks() const;

  int Pages() const { return pages_; }
  int Images() const { return images_; }
  int Sections() const { return (pages_ + kPerSection - 1) / kPerSection; }
  const std::string& Origin() const { return origin_; }
  static std::string PagePath(int n);
  static std::string ImagePath(int i);
  static std::string PageName(int n);

  // Image bytes (a few real GIFs and JPEGs, reused); must be set before
  // Reply is asked for an image.
  void SetImages(std::vector<std::string> gifs, std::vector<std::string> jpegs);

 private:
  static constexpr int kPerSection = 100;
  std::string PageHtml(int n, SiteLinks* count) const;
  std::string SectionHtml(int s, SiteLinks* count) const;
  std::string IndexHtml(SiteLinks* count) const;
  std::string Relative(int fromPage, int toPage) const;

  int pages_, images_;
  std::string origin_, external_;
  std::vector<std::string> gifs_, jpegs_;
};

// A handful of small images of different sizes, real GIF and JPEG bytes.
std::vector<std::string> MakeGifs();
std::vector<std::string> MakeJpegs();

}  // namespace qlon::bench
