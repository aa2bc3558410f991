// The failures of the capture file a capture can meet (open, lock, journal,
// reads, a header too large; a damaged tree in UrlBTreeTest), as the person
// reads them: in French, naming the file, with the system's reason in French.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "TempRoot.h"
#include "Texts.h"
#include "Web.h"
#include "WebStream.h"

namespace qlon {
namespace {

namespace fs = std::filesystem;

// Words of the English texts these replace, and of the C library's reasons.
constexpr const char* kEnglish[] = {"cannot", "capture file", "damaged", "shorter", "in use", "denied",
                                    "No such", "Read-only", "directory", "bytes", "page 0x"};

template <class F>
std::string MessageOf(F&& f) {
  try {
    f();
  } catch (const Exception& e) {
    return e.message();
  }
  ADD_FAILURE() << "no failure";
  return {};
}

void ExpectSaid(const std::string& message, const std::string& start) {
  EXPECT_EQ(message.rfind(start, 0), 0u) << message;
  for (const char* word : kEnglish) EXPECT_EQ(message.find(word), std::string::npos) << message;
}

class WebStreamMessages : public ::testing::Test {
 protected:
  test::TempDir dir_;
  const fs::path file_ = dir_.path() / "local.web";
  std::string In(const fs::path& p) const { return " (" + p.string() + ")"; }
};

TEST_F(WebStreamMessages, OpeningAndLocking) {
  const fs::path absent = dir_.path() / "absent.web";
  ExpectSaid(MessageOf([&] { TWebStream s(absent, TWebStream::Mode::Open); }),
             "Impossible d'ouvrir le fichier de capture" + In(absent) + " : Aucun fichier ou dossier de ce nom");
  TWebStream held(file_, TWebStream::Mode::Create);
  ExpectSaid(MessageOf([&] { TWebStream s(file_, TWebStream::Mode::Open); }),
             "Le fichier de capture est utilisé par un autre programme" + In(file_));
  TWebStream reader(file_, TWebStream::Mode::ReadOnly);
  ExpectSaid(MessageOf([&] { reader.Write(0, "x", 1); }), "Le fichier de capture est ouvert en lecture seule" + In(file_));
  char byte;
  ExpectSaid(MessageOf([&] { reader.Read(10, &byte, 1); }),
             "Le fichier de capture est plus court que ce qu'il annonce" + In(file_));
}

TEST_F(WebStreamMessages, TheJournal) {
  TWebStream s(file_, TWebStream::Mode::Create);
  s.Write(0, "abcd", 4);
  s.Commit();
  // Its name while it is made, then its own name, held by folders.
  const fs::path fresh = TWebStream::JournalPath(file_).string() + ".new";
  fs::create_directory(fresh);
  ExpectSaid(MessageOf([&] { s.Write(0, "x", 1); }),
             "Impossible de créer le journal du fichier de capture" + In(file_) + " : Un dossier porte ce nom");
  fs::remove(fresh);
  fs::create_directory(TWebStream::JournalPath(file_));
  fs::create_directory(TWebStream::JournalPath(file_) / "inside");
  ExpectSaid(MessageOf([&] { s.Write(0, "x", 1); }), "Impossible d'écrire le journal du fichier de capture" + In(file_));
}

TEST_F(WebStreamMessages, AHeaderTooLarge) {
  TWeb web;
  web.CreateNew(file_);
  // The start addresses are part of the header, which has 5120 bytes.
  for (int i = 0; i < 200; ++i) web.StartEntries.push_back({"http://127.0.0.1/" + std::string(40, 'a'), "", "", ""});
  const std::string said = MessageOf([&] { web.Save(); });
  ExpectSaid(said, "L'en-tête du fichier de capture (");
  EXPECT_NE(said.find("octets) ne tient pas avant l'arbre des adresses : rien n'a été enregistré"), std::string::npos)
      << said;
}

TEST(SystemErrorText, TheReasonsAStoreMeetsAreInFrench) {
  EXPECT_EQ(SystemErrorText(EACCES), "Permission refusée");
  EXPECT_EQ(SystemErrorText(ENOSPC), "Plus d'espace disponible sur le disque");
  EXPECT_EQ(SystemErrorText(EROFS), "Système de fichiers en lecture seule");
  EXPECT_EQ(SystemErrorText(EDQUOT), "Quota de disque dépassé");
  // One without a text of its own still says it is the system's.
  EXPECT_EQ(SystemErrorText(EPROTO), "Erreur système " + std::to_string(EPROTO));
}

}  // namespace
}  // namespace qlon
