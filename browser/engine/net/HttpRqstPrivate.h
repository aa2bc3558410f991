#pragma once
// What the HTTP and FTP halves of the request client share.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "HttpRqst.h"
#include "Scx.h"

namespace qlon {

class TMimeList;

namespace detail {
// %-escapes blanks, control bytes, bytes above 126 and " < > of a request target.
std::string EscapeRequestTarget(std::string_view target);
// A host name that can go into a request line and a connect: no blanks,
// control bytes, "/" or "@".
bool IsSafeHostText(std::string_view host);
// The MIME table's type of a name's extension; empty when it knows none.
std::string TypeOfExtension(const TMimeList* mime, const std::string& extension);
// The bytes a body that comes without a type needs to tell it.
inline constexpr std::size_t kTypeSniffBytes = 512;
// The type of a body that comes with none and whose name does not tell it,
// by its first bytes: "text/html" for a page (past blanks and comments it
// begins with <!DOCTYPE html>, <html>, <head>, <body>, <title> or
// <frameset>), a PNG, GIF or JPEG image by its signature, "text/plain" for
// other text, else "application/octet-stream". Only a page is scanned and
// rewritten.
std::string TypeOfBytes(std::string_view head);
}  // namespace detail

// One anonymous FTP session: a command script played against the control
// connection, and the data socket. Each transfer goes in passive mode (we
// connect to the port the server opens); a server that refuses PASV gets the
// active mode's PORT (we listen, it connects) for the rest of the session.
struct THttpRequest::FtpSession {
  enum class Mode { None, Listing, File };

  std::unique_ptr<TSCX> Data;  // connects (passive) or listens (active)
  bool Active = false;
  bool Passive = true;  // until the server refuses PASV
  bool Failed = false;
  std::vector<std::string> Script;  // "COMMAND(code)", "COMMAND" or "(code)"
  std::size_t Position = 0;
  std::string Line;  // control reply line being read
  int Expected = 0;
  bool ExpectedMet = false;
  // The expected reply is also waiting for the data connection to close:
  // a "226" counts only once the listing or file has been read to its end.
  bool WaitData = false;
  Mode DataMode = Mode::None;
  std::vector<std::string> Listing;
  std::string ListingLine;
  std::size_t ListingBytes = 0;
  int DataPort = 0;
  int DataChannel = -1;  // the data connection (a listener's channel, 0 when passive), -1 = none yet
  bool DataClosed = false;
  bool DataWanted = false;  // PASV or PORT sent, its data connection not ended yet
  // The data connection ended before the transfer's last reply: a server
  // that lost it (closed it under the command) would wait for another.
  bool AwaitingEnd = false;
  bool ControlClosed = false;
  bool Directory = false;  // a directory URL: the body is an HTML index of the listing
  std::string DirPath;     // decoded directory path
  std::string Name;        // decoded file name
};

}  // namespace qlon
