#pragma once
// A capture built for the shell's tests: records of every category and
// state, their local files of known sizes, and one image map; and the
// work-folder answer for the settings.
#include <filesystem>
#include <string>

#include "Setup.h"
#include "TempRoot.h"
#include "Web.h"

namespace qlon::test {

// Answers the settings' work-folder question with a fixed folder.
class WorkFolder : public IWorkPathPrompt {
 public:
  explicit WorkFolder(std::string path) : path_(std::move(path)) {}
  bool AskWorkPath(std::string& path) override {
    path = path_;
    return true;
  }

 private:
  std::string path_;
};

class CaptureFixture {
 public:
  static constexpr const char* kHost = "http://h.example/";

  CaptureFixture() {
    folder_ = dir_.path() / "cap";
    std::filesystem::create_directories(folder_);
    web.CreateNew(folder_ / "local.web");
    Add("b.htm", fsRetrieved, "text/html", "htm", "<html><title>beta</title></html>" + std::string(200, ' '));
    Add("a.htm", fsRetrieved, "text/html", "htm", "<html><title>Alpha</title></html>");
    Add("c.htm", fsToCapture, "text/html", "htm", "");
    Add("notes.txt", fsRetrieved, "text/plain", "txt", std::string(1023, 'n'));
    Add("pack.zip", fsRetrieved, "application/zip", "zip", std::string(1500, 'z'));
    Add("pic.gif", fsRetrieved, "image/gif", "gif", std::string(1024, 'g'), 40, 30);
    Add("big.jpg", fsRetrieved, "image/jpeg", "jpg", std::string(3000, 'j'), 640, 480);
    Add("song.wav", fsRetrieved, "audio/x-wav", "wav", std::string(10, 's'));
    Add("film.mpg", fsRetrieved, "video/mpeg", "mpg", std::string(10, 'v'));
    AddError("e500.htm", 500);
    AddError("e404.htm", 404);
    AddError("e403.htm", 403);
    Add("gone.htm", fsNotFound, "text/html", "htm", "");
    Add("skip.htm", fsFilteredUser, "text/html", "htm", "");
    Add("out.htm", fsFilteredExternalWebDepth, "text/html", "htm", "");
    Add("now.htm", fsRequesting, "text/html", "htm", "");
    web.Maps.AddMap(Url("pic.gif"), "pic.gif", "pic.map", "Plan", Url("pic.map"), Url("a.htm"), "");
  }

  static std::string Url(const std::string& name) { return kHost + name; }
  const std::filesystem::path& Folder() const { return folder_; }

  // A record with a local file when body is not empty.
  void Add(const std::string& name, TWebFileState state, const std::string& type, const std::string& ext,
           const std::string& body, int width = 0, int height = 0) {
    TWebFile r(&web);
    r.SetState(state);
    SetContentType(r, type, ext);
    if (!body.empty()) {
      r.SetLocalName(name);
      WriteFileBytes(folder_ / name, body);
    }
    r.SetWidth(uint16_t(width));
    r.SetHeight(uint16_t(height));
    web.AddUrl(Url(name), r);
  }
  void AddError(const std::string& name, int code) {
    TWebFile r(&web);
    SetContentType(r, "text/html", "htm");
    r.SetError(code);
    web.AddUrl(Url(name), r);
  }
  // Changes a stored record.
  template <typename F>
  void Change(const std::string& name, F change) {
    TWebFile r(&web);
    if (!web.FindUrl(Url(name), r)) return;
    change(r);
    web.UpdateRecord(r, false);
  }

  TempDir dir_;
  std::filesystem::path folder_;
  TWeb web;
};

}  // namespace qlon::test
