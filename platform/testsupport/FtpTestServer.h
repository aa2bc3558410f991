#pragma once
// A scripted FTP server on the loopback address. In active mode the client
// listens, sends "PORT h1,h2,h3,h4,p1,p2" and the server connects to that
// address for each LIST or RETR. Passive mode is refused (502) unless turned
// on: then "PASV" opens a listener for the next transfer, named in the 227
// reply, and the server takes the client's connection there.
//
// Files are given by absolute path ("/pub/a.txt"); the folders above them
// exist by themselves. LIST answers in the Unix long form, one line for a
// file, the folder's entries (after a "total" line) for a folder. Commands:
// USER, PASS, CWD, PWD, TYPE, PORT, PASV, LIST, RETR, SYST, NOOP, QUIT; others 502.
//
// The order of control replies and data connection can be made adversarial,
// data can be paced, and replies can go out one byte at a time.
#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "LoopbackServer.h"

namespace qlon::test {

class FtpTestServer : public LoopbackServer {
 public:
  enum class Order {
    Normal,           // 150, data connection, close, 226
    DataBeforeReply,  // data connection and close first, then 150 and 226
    ReplyBeforeData,  // 150 and 226 first, then the data connection
    RefuseData,       // 425, never connects
    NeverConnect,     // 150, then nothing
    CloseControl,     // RETR: 150, data connection opened, control connection closed, then the data
    // The data connection lost under the command, as a busy server may: in
    // passive mode taken and closed unused, then 150 and nothing (the
    // server waits for another connection). LoseFileData: RETR only.
    LoseData,
    LoseFileData,
  };

  ~FtpTestServer() override;

  // date is the listing's date field: "Jan 15  2024" or "Mar 14 10:20".
  void AddFile(const std::string& path, std::string content, std::string date = "Jan 15  2024");
  // The order of LIST and RETR transfers.
  void SetOrder(Order order);
  // Data goes out in blocks of this size (0: all at once) with the delay between them.
  void SetDataPacing(std::size_t block, std::chrono::milliseconds delay);
  // Control replies go out in blocks of this size (0: whole replies).
  void SetControlBlockSize(std::size_t block);
  // USER logs in at once (230) and PASS is refused (503).
  void SetOpenLogin(bool open);
  // A cap on the client's sessions, as servers put one on each address: a
  // session beyond `concurrent` open at once, or beyond the first `total`
  // (-1: no such cap), is greeted with the reply ("421 ...") and closed.
  void SetSessionLimit(int concurrent, int total = -1,
                       std::string reply = "421 Too many connections from this IP.");
  // Sessions refused by the cap so far; the most sessions served at once.
  int RefusedSessions() const;
  int PeakSessions() const;
  // PASV is answered; the 227 reply names replyHost ("h1,h2,h3,h4"), as a
  // server behind NAT names an address of its own network. Not reachable:
  // the port it names refuses connections (a firewall's reset).
  void SetPassive(bool on, std::string replyHost = "127,0,0,1", bool reachable = true);

  // Every command received, as sent ("USER anonymous").
  std::vector<std::string> Commands() const;
  // "ftp://127.0.0.1:port" + path.
  std::string Url(const std::string& path = "/") const;

 protected:
  void Handle(int fd) override;

 private:
  struct File {
    std::string content, date;
  };
  struct Session;
  bool Reply(int fd, const std::string& text);
  // Counts the session in; false (and the refusal sent) when the cap refuses it.
  bool Admit(int fd);
  // Opens the listener of the next transfer and makes the reply; false when
  // passive mode is off.
  bool OpenPassive(Session& session, std::string& reply);
  void Transfer(int fd, Session& session, const std::string& data, bool file);
  std::string ListingFor(const std::string& folder, const std::string& name, bool& found) const;

  mutable std::mutex lock_;
  std::map<std::string, File> files_;
  Order order_ = Order::Normal;
  std::size_t dataBlock_ = 0;
  std::chrono::milliseconds dataDelay_{0};
  std::size_t controlBlock_ = 0;
  bool openLogin_ = false;
  int sessionCap_ = -1, sessionBudget_ = -1;
  std::string capReply_;
  int sessions_ = 0, served_ = 0, refused_ = 0, peak_ = 0;
  bool passive_ = false;
  bool passiveReachable_ = true;
  std::string passiveHost_;
  std::vector<std::string> commands_;
};

}  // namespace qlon::test
