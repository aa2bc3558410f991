#pragma once
// The request client: one URL at a time, asynchronously on the GUI thread,
// over HTTP/1.0 (directly or through an HTTP proxy), over FTP (an anonymous
// session, in passive mode unless the server refuses it) or from a local file
// for "file:" URLs.
//
// Everything is reported through events, never by exceptions. One request
// produces, in this order:
//
//   OnStateChange  sLookup, sConnexion (host found), sRequest (connected,
//                  request sent)
//   OnReceiveData  every raw block of the control connection (HTTP) or of
//                  the data connection (FTP file)
//   OnStateChange  sReceive (first reply bytes)
//   OnError        at once for an HTTP error status (4xx, 5xx, 204..206)
//   OnHeaderReceived   the reply header is complete; true keeps the body.
//                  `Filename` is set there; the body goes to a new file
//                  (or to the stream that CreateContentStream makes)
//   OnReceiveContent   each block of body stored, with the percentage
//   OnContentReceived  the whole body arrived and its file is closed
//   OnStateChange  sIdle
//
// A failure (host not found, connection failed, time-out, a body shorter
// than its Content-Length, a bad header, an FTP reply out of script) is one
// OnError followed by sIdle; whatever part of a body was written is deleted
// first, and OnContentReceived never fires for it. So when sIdle arrives the
// outcome is known. A local "file:" request goes sRequest -> sReceive -> sIdle.
//
// FTP failures carry the server's reply code as the status. A permanent
// refusal (5xx: "550" for a missing file) is heFTPError. What may succeed
// if asked again is heFail or heTimeout with a code: a transient refusal
// (4xx: "421" busy, "425" no data connection, "426" transfer aborted), a
// data connection that could not be made (425), or a time-out while one
// was awaited (425) or had stalled (426). Without a code they concern the
// control connection.
//
// Inactivity watchdog: once connected, a request that sees no event of its
// control or data connection for the settings' Timeout ends with heTimeout;
// data flowing on the FTP data connection counts as activity, so a long
// transfer is never cut while the control connection is quiet.
//
// Progress guard: a server that keeps a connection busy without getting
// anywhere (a header or a body sent a byte at a time) ends with heTimeout
// too, T being the settings' Timeout:
//   - an HTTP reply header must be complete within T of the connection;
//     an FTP dialogue, a dozen exchanges, must reach the file's data within 2T;
//   - a body must bring at least kMinBodyRate bytes a second on average
//     over each period of T (15 KiB per 30 s): a steady 20 KB/s transfer
//     goes on however long it is, a drip is cut after one period.
//
// Handlers may call Abort or Start on the request from inside any event.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <QTimer>

#include "Types.h"
#include "Urlutil.h"

class QIODevice;
class QFile;

namespace qlon {

class TCookiesBase;
class TMimeList;
class TSCX;
class TSetup;

class THttpHeader {
 public:
  static constexpr int kBufferSize = 4096;

  // Empties the reply fields; Location, Realm, ProxyRealm and SetCookie are
  // kept until a new reply sets them.
  void Clear();
  // Takes one received block. Returns true when the header ended in it (a
  // blank line, or "<HTML>" where a server sends no header): it is then
  // parsed, and body holds the bytes that follow it. The end is found however
  // the reply is cut into blocks. Header bytes beyond kBufferSize are dropped.
  bool Append(std::string_view block, std::string& body);
  // The connection closed before the end: parses what came.
  void Finish();
  // Parses Buffer; returns Parsed.
  bool Parse();
  bool Complete() const { return Complete_; }
  std::string_view Text() const { return {Buffer.data(), static_cast<std::size_t>(Length)}; }

  std::array<char, kBufferSize> Buffer{};
  std::int32_t Length = 0;
  std::string Url;  // of the request; Set-Cookie values are filed for it
  std::int32_t Status = 0;
  std::string Server;
  double Date = 0;
  std::string ContentType;      // without parameters
  std::int64_t ContentLength = 0;  // 0 when absent or invalid
  double LastModified = 0;
  std::string Location;
  std::string Realm;        // of WWW-Authenticate
  std::string ProxyRealm;   // the whole Proxy-Authenticate value
  std::string SetCookie;    // the last Set-Cookie value
  bool Parsed = false;      // the status line was recognised
  // Where Set-Cookie values go; nullptr: nowhere.
  TCookiesBase* Cookies = nullptr;

 private:
  void AppendToBuffer(std::string_view bytes);
  void ParseField(std::string_view name, std::string_view value);
  int LineFeeds_ = 0;     // since the last byte other than CR, LF and "<"
  std::string Held_;      // a "<" and what follows, too short yet to tell "<HTML>"
  bool Complete_ = false;
};

// One line of a Unix long listing ("-rw-r--r-- 1 u g 1234 Mar 14 10:20 name").
struct TFtpListEntry {
  bool Directory = false;
  std::int64_t Size = 0;
  double Date = 0;  // UTC date-time
  std::string Name;
};
// False when the line is not of that form. A "hh:mm" entry is of the current
// year, or of the one before when that would put it more than a day ahead of now.
bool ParseFtpListLine(std::string_view line, double now, TFtpListEntry& entry);
// Fields as application/x-www-form-urlencoded: name "=" value pairs joined by "&".
std::string EncodeFormFields(const std::vector<std::string>& fields);

class THttpRequest {
 public:
  static constexpr std::int64_t kMinBodyRate = 512;  // bytes a second, see the progress guard

  using ErrorEvent = std::function<void(THttpRequest&, THTTP_ERROR, int httpStatus)>;
  using Event = std::function<void(THttpRequest&)>;
  using HeaderEvent = std::function<bool(THttpRequest&)>;
  using ContentEvent = std::function<void(THttpRequest&, const char* buf, int len, int percent)>;
  using DataEvent = std::function<void(THttpRequest&, const char* buf, int len)>;
  using StreamFactory = std::function<std::unique_ptr<QIODevice>(THttpRequest&)>;

  // id numbers the request in its pool; setup gives proxies, time-out, user
  // agent and credentials (nullptr: no proxy, 30 s, no agent).
  THttpRequest(int id, TMimeList* mimeList, TSetup* setup = nullptr);
  ~THttpRequest();
  THttpRequest(const THttpRequest&) = delete;
  THttpRequest& operator=(const THttpRequest&) = delete;

  // IfModifiedSince 0, Accept the one default entry, no form fields.
  void Reset();
  void ClearFields() { Fields.clear(); }
  // Back to idle without events: socket closed, header cleared, stream freed.
  void Clear();
  // Begins the request for Url. False when it did not start (unknown
  // scheme, a URL that cannot be sent, a missing local file, no socket).
  bool Start();
  // Stops a busy request; a partly written body file is deleted.
  void Abort();
  // The HTTP request as it is sent for the current Url and settings.
  std::string RequestText();
  // Idle after an FTP QUIT, the server's goodbye not come yet: the server
  // still holds the session.
  bool Closing() const { return Lingering_; }

  ErrorEvent OnError;
  Event OnStateChange;
  HeaderEvent OnHeaderReceived;
  Event OnContentReceived;
  ContentEvent OnReceiveContent;
  DataEvent OnReceiveData;
  // Makes the body's sink when the header is accepted; unset: a file on
  // Filename (or a memory buffer when no OnHeaderReceived is set).
  StreamFactory CreateContentStream;

  TMimeList* MimeList;
  TSetup* Setup;
  TCookiesBase* Cookies;  // the program's store by default; nullptr: no cookies

  THTTP_STATE State = sIdle;
  TReceiveState RecState = rsNoRec;
  THTTP_ERROR Error = heNone;
  THTTP_STATE previous = sIdle;
  THTTP_METHOD Method = mGET;
  std::vector<std::string> Accept;
  double IfModifiedSince = 0;  // UTC; 0 = none
  std::string Referer;
  std::vector<std::string> Fields;  // name=value
  THttpHeader Header;
  void* UserObject = nullptr;  // the caller's, not owned
  TUrl Url;
  std::string Host, ip;
  std::int32_t percent = 0;
  std::unique_ptr<QIODevice> Content;
  std::int64_t ContentSoFar = 0;
  // The body could not be stored (the disk is full or gone): the request
  // failed with heFail through no fault of the address.
  bool ContentWriteFailed = false;
  // The server's reply line an FTP request failed on ("421 There are too
  // many connections..."); empty otherwise.
  std::string FailureReply;
  std::string Filename;
  const std::int32_t id;
  std::uint8_t Protocol = ipHttp;
  bool ViaProxy = false;
  bool AuthSent = false;
  bool ProxyAuthSent = false;
  std::string LocalFile;
  std::string Username, Password;
  bool bUpdate = false;

 private:
  struct FtpSession;

  void SetState(THTTP_STATE state, TReceiveState receive);
  void SetError(THTTP_ERROR error, int status);
  // Ends the request: cleanup, OnError, sIdle.
  void Fail(THTTP_ERROR error, int status = 0);
  // Closes sockets and the local file, deletes a partly written body.
  void Discard();
  // Start without touching the credential marks (a restart after 401 or 407 keeps them).
  bool StartRequest();
  bool StartHttp(const std::string& host, int port);
  bool StartLocal();
  void Restart();
  bool HandleStatus();
  // HandleStatus, unless the body's type is still to be told by its first
  // bytes: a reply that named none, a name whose extension the MIME table
  // does not know. The header then waits for them (TypePending_).
  bool HandleStatusOrWait();
  // The held bytes tell the type; the header is handled and they are
  // written. False when the request ended meanwhile.
  bool SettleType();
  bool OpenContent();
  // Writes a block of body; false when the request ended meanwhile.
  bool WriteContent(const char* buf, int len);
  // Closes the body stream and reports it complete (or truncated).
  void FinishContent(bool checkLength);
  void Watch();
  void Timeout();
  int TimeoutMs() const;
  // The progress guard: the header's time limit from the connection, then
  // the body's periods from its first byte.
  void GuardHeader();
  void GuardBody();
  void GuardCheck();
  void StopGuards();
  std::string CredentialsKey(bool proxy) const;
  std::string Credentials(bool proxy);
  void SendLine(std::string_view text, bool crlf = true);

  // Control socket events.
  // After QUIT the control connection stays open until the server closes
  // it (or the next request starts), so that the QUIT reaches it.
  bool Lingering();
  void SocketNoHost();
  void SocketOkHost();
  void SocketFail();
  void SocketConnect(const std::string& distantIp);
  void SocketCut();
  void SocketData(const char* buf, int len);
  void HttpReply(const char* buf, int len);

  void LocalTick();

  // FTP (HttpRqstFtp.cpp).
  bool StartFtp();
  void FtpConnected();
  void FtpStep();
  void FtpSend(std::string command);
  void FtpSendPort();
  void FtpControlData(const char* buf, int len);
  void FtpReply(int code, std::string_view line);
  void FtpPassiveReply(std::string_view line);
  void FtpPassiveConnected();
  void FtpDataConnect(int channel, const std::string& distantIp);
  void FtpDataBlock(const char* buf, int len, int channel);
  void FtpDataCut(int channel);
  void FtpListingDone();
  void FtpControlCut();
  void FtpFinish(bool quitSent);
  void StopFtp();
  // While a transfer's data connection has ended and its last reply has not
  // come: the watchdog waits a short grace, not the whole time-out.
  void FtpWatchEnd();
  // The status of a time-out: 425 while a data connection is awaited, 426
  // once it is open or when it ended without the transfer's last reply, 0
  // outside a transfer.
  int FtpDataStatus() const;

  std::unique_ptr<TSCX> Socket_;
  std::unique_ptr<FtpSession> Ftp_;
  QTimer LocalTimer_;
  QTimer Watchdog_;
  QTimer ProgressGuard_;
  bool GuardingBody_ = false;
  std::int64_t PeriodBytes_ = 0;  // body bytes since the guard's last period began
  std::unique_ptr<QFile> LocalStream_;
  bool ContentIsFile_ = false;
  bool Lingering_ = false;
  bool TypePending_ = false;
  std::string TypeBytes_;  // the body's first bytes while the type is pending
  // Bumped whenever the request is cleared or restarted: an event handler
  // that did either makes the code that called it stop touching the old
  // request.
  std::uint64_t Generation_ = 0;
};

}  // namespace qlon
