#include "Mime.h"

#include <QBuffer>
#include <gtest/gtest.h>

#include "Profile.h"
#include "TempRoot.h"
#include "StreamBytes.h"
#include "Utils.h"

using namespace qlon;

namespace {

QByteArray Save(const TMimeList& list) {
  return test::WrittenBytes([&](QIODevice& out) { list.SaveToStream(out); });
}

bool Load(TMimeList& list, const QByteArray& bytes) {
  return test::ReadFromBytes(bytes, [&](QIODevice& in) { return list.LoadFromStream(in); });
}

std::string Types(const TMimeList& list) {
  std::string out;
  for (int i = 0; i < list.Count(); ++i) out += (list.GetItem(i) ? list.GetItem(i)->ContentType : "-") + ";";
  return out;
}

QByteArray Hex(const char* hex) { return QByteArray::fromHex(hex); }

}  // namespace

TEST(MimeTest, LookupsAndCategories) {
  TMimeList list;
  ASSERT_EQ(list.Count(), 13);
  EXPECT_EQ(list.FindExtension(".JPG"), list.FindType("IMAGE/JPEG"));
  EXPECT_EQ(list.FindExtension("shtml")->ContentType, "text/html");
  EXPECT_EQ(list.FindExtension(""), nullptr);
  EXPECT_EQ(list.FindExtension("."), nullptr);
  EXPECT_EQ(list.FindExtension("jp"), nullptr);  // whole elements only
  EXPECT_EQ(list.FindType("video/mpeg")->GetFirstExtension(), "mpg");
  EXPECT_FALSE(list.FindType("application/octet-stream")->Params.Flags & kMimeBuiltIn);
  EXPECT_TRUE(list.FindType("x-world/x-vrml")->Params.Flags & kMimeBuiltIn);

  EXPECT_EQ(MimeTypeCategory("text/html"), mcTexte);
  EXPECT_EQ(MimeTypeCategory("IMAGE/png"), mcImage);
  EXPECT_EQ(MimeTypeCategory("Audio/x"), mcSon);
  EXPECT_EQ(MimeTypeCategory("video/x"), mcVideo);
  EXPECT_EQ(MimeTypeCategory("texte"), mcAutre);
  EXPECT_EQ(MimeTypeCategory("x-world/x-vrml"), mcAutre);
  EXPECT_EQ(MimeCategoryFromName("defaut"), mcDefaut);
  EXPECT_EQ(MimeCategoryFromName("Pages"), -1);
}

TEST(MimeTest, AddTypeMergesExtensionsAndReusesSlots) {
  TMimeList list;
  EXPECT_EQ(list.AddType("image/jpeg", "JPG,jpeg,jff", kMimeBuiltIn, mcImage, true), 3);
  EXPECT_EQ(list.FindType("image/jpeg")->Extensions, "jpg,jff,jtf,jpeg");

  list.Remove(list.FindType("image/gif"));
  EXPECT_EQ(list.GetItem(2), nullptr);
  EXPECT_EQ(list.Count(), 13);
  EXPECT_EQ(list.FindType("image/jpeg"), list.GetItem(3));  // others keep their index
  EXPECT_EQ(list.AddType("image/png", "png", 0, mcImage, true), 2);
  EXPECT_EQ(list.AddType("image/x-new", "new", 0, mcImage, true), 13);

  // The record's one-byte index allows 255 slots.
  while (list.Count() < kMimeMaxSlots) list.AddType("a/" + std::to_string(list.Count()), "", 0, mcAutre, true);
  EXPECT_EQ(list.AddType("a/overflow", "x", 0, mcAutre, true), -1);
  EXPECT_EQ(list.FindType("a/overflow"), nullptr);
  EXPECT_EQ(list.AddType("image/png", "png2", 0, mcImage, true), 2);  // known types still merge
}

TEST(MimeTest, EnabledStates) {
  TMimeList list;
  TMimeItem* gif = list.FindType("image/gif");
  TMimeItem* jpeg = list.FindType("image/jpeg");
  jpeg->Params.Flags |= kMimeFixed;
  jpeg->SetEnabled(false);
  EXPECT_TRUE(jpeg->IsEnabled());
  list.EnableCategory(mcImage, false);
  EXPECT_EQ(jpeg->Params.Disabled, 0);  // skipped, but its category is off
  EXPECT_FALSE(jpeg->IsEnabled());
  EXPECT_EQ(gif->Params.Disabled, 1);
  list.SetCategoryEnabled(mcImage, true);
  EXPECT_TRUE(jpeg->IsEnabled());
  EXPECT_FALSE(gif->IsEnabled());

  list.SetCategorySet(0b0000101);
  EXPECT_TRUE(list.GetCategoryEnabled(mcHtml));
  EXPECT_FALSE(list.GetCategoryEnabled(mcTexte));
  EXPECT_TRUE(list.GetCategoryEnabled(mcImage));
  EXPECT_TRUE(list.FindType("text/plain")->Params.Disabled == 0);  // items untouched

  TMimeItem loose;
  loose.Params.Disabled = 1;
  EXPECT_TRUE(loose.IsEnabled());  // no owner

  gif->SetUsed(true);
  EXPECT_FALSE(gif->CanDelete());
  EXPECT_FALSE(list.FindType("text/html")->CanDelete());
  EXPECT_TRUE(list.FindType("application/octet-stream")->CanDelete());
  list.ClearUsed();
  EXPECT_FALSE(gif->IsUsed());
}

TEST(MimeTest, MergeAddsUnknownTypesWithTheirState) {
  TMimeList global, capture;
  capture.AddType("image/png", "png", 0, mcImage, true);
  capture.AddType("audio/mp3", "mp3", 0, mcSon, true);
  capture.SetCategoryEnabled(mcSon, false);
  capture.AddType("text/html", "xhtml", 0, mcHtml, true);  // known: not merged
  EXPECT_EQ(global.Merge(capture), 2);
  EXPECT_TRUE(global.FindType("image/png")->IsEnabled());
  EXPECT_FALSE(global.FindType("audio/mp3")->IsEnabled());
  EXPECT_FALSE(global.FindType("text/html")->HasExtension("xhtml"));
  EXPECT_EQ(global.Merge(capture), 0);
}

TEST(MimeTest, BinaryFormLayout) {
  TMimeList list;
  list.Clear();
  list.AddType("a/b", "x,y", 0x100, mcImage, false);
  list.AddType("c/d", "z", 0, mcSon, true);
  list.Remove(list.GetItem(0));
  list.SetCategoryExpanded(mcTexte, true);
  list.SetCategoryEnabled(mcVideo, false);
  list.FindType("c/d")->Params.Reserved1 = -2;
  list.FindType("c/d")->Params.Reserved3[3] = 0xABCD;

  QByteArray expected = Hex("0600" "0100"          // version 6, one item
                            "0100" "0363 2f64" "017a" "03"  // slot 1, "c/d", "z", Son
                            "0000 00 00 feffffff 00000000 0000 0000 0000 cdab");
  QByteArray categories(140, '\0');
  categories[20] = 1;          // Texte expanded
  categories[4 * 20 + 2] = 1;  // Video disabled
  expected += categories;
  const QByteArray bytes = Save(list);
  EXPECT_EQ(bytes.toHex(), expected.toHex());

  TMimeList back;
  ASSERT_TRUE(Load(back, bytes));
  EXPECT_EQ(Types(back), "-;c/d;");
  EXPECT_TRUE(back.GetCategoryExpanded(mcTexte));
  EXPECT_FALSE(back.GetCategoryEnabled(mcVideo));
  EXPECT_EQ(Save(back), bytes);
}

TEST(MimeTest, OlderVersionsConvert) {
  // Version 1: no slot index, one enabled byte, no category records.
  TMimeList list;
  ASSERT_TRUE(Load(list, Hex("0100 0200"
                             "0974 6578 742f 6874 6d6c 0368 746d 00 01"  // text/html, htm, Html, on
                             "0161 0162 05 00")));                        // a, b, Autre, off
  EXPECT_EQ(Types(list), "text/html;a;");
  EXPECT_EQ(list.GetItem(0)->Extensions, "htm,html,shtml,map");
  EXPECT_TRUE(list.GetItem(0)->IsEnabled());
  EXPECT_FALSE(list.GetItem(1)->IsEnabled());
  EXPECT_TRUE(list.GetCategoryEnabled(mcAutre));

  // Version 4: settings records, still no index nor category records.
  ASSERT_TRUE(Load(list, Hex("0400 0100 0161 0362 2c63 02 0001 01 00 00000000 00000000 0000000000000000")));
  EXPECT_EQ(list.GetItem(0)->Extensions, "b,c");
  EXPECT_EQ(list.GetItem(0)->Params.Flags, 0x100);
  EXPECT_FALSE(list.GetItem(0)->IsEnabled());
}

TEST(MimeTest, BadStreamsLeaveTheTableUntouched) {
  TMimeList list;
  const QByteArray before = Save(list);
  const std::string item = "0363 2f64 017a 03 0000000000000000000000000000000000000000";
  EXPECT_FALSE(Load(list, Hex("0700 0000")));  // a later version
  EXPECT_THROW(Load(list, Hex(("0600 0200 0000" + item + "0000" + item).c_str())), EReadError);  // slot twice
  EXPECT_THROW(Load(list, Hex(("0600 0100 ff7f" + item).c_str())), EReadError);  // slot index 32767
  EXPECT_THROW(Load(list, Hex(("0600 0100 ffff" + item).c_str())), EReadError);  // negative slot
  EXPECT_THROW(Load(list, Hex("0600 0100 0000 0363 2f")), EReadError);          // truncated item
  EXPECT_THROW(Load(list, Hex("0600 0000 0000")), EReadError);                  // truncated categories
  EXPECT_THROW(Load(list, Hex("0600 ff7f")), EReadError);                       // absurd count
  EXPECT_EQ(Save(list), before);
}

TEST(MimeTest, DefinitionFileIsRebuiltWhenMissingOrOld) {
  qlon::test::TempDir dir;
  const auto path = dir.path() / "mime.def";
  TMimeList list;
  list.Clear();
  EXPECT_EQ(list.LoadFromFile(path), "");  // missing: the defaults, written without a word
  EXPECT_EQ(list.Count(), 13);
  TMimeList reread;
  reread.Clear();
  reread.LoadFromFile(path);
  EXPECT_EQ(Save(reread), Save(list));
  EXPECT_EQ(qlon::test::ReadFileBytes(path), Save(list).toStdString());

  // An older file keeps its own types and gains the defaults.
  qlon::test::WriteFileBytes(path, Hex("0400 0100 0161 0162 05 0000 00 00 00000000 00000000 0000000000000000")
                                       .toStdString());
  EXPECT_EQ(list.LoadFromFile(path), "");
  EXPECT_EQ(list.GetItem(0)->ContentType, "a");
  EXPECT_EQ(list.Count(), 14);
  EXPECT_EQ(qlon::test::ReadFileBytes(path).substr(0, 2), std::string("\x06\x00", 2));

  // A later program's file and a truncated one are set aside, each under a
  // name of its own, said, and replaced by the defaults.
  const std::string named = "La table des types MIME " + path.string();
  qlon::test::WriteFileBytes(path, std::string("\x09\x00\x01", 3));
  list.Clear();
  EXPECT_EQ(list.LoadFromFile(path), named + " vient d'une version plus récente du programme : elle a été mise de côté "
                                             "sous " + path.string() + ".bak et remplacée par la table par défaut.");
  EXPECT_EQ(list.Count(), 13);
  EXPECT_EQ(qlon::test::ReadFileBytes(dir.path() / "mime.def.bak"), std::string("\x09\x00\x01", 3));
  qlon::test::WriteFileBytes(path, std::string("\x06\x00\x05\x00", 4));
  list.Clear();
  EXPECT_NE(list.LoadFromFile(path), "");
  EXPECT_EQ(list.Count(), 13);
  EXPECT_EQ(qlon::test::ReadFileBytes(path), Save(list).toStdString());
  EXPECT_EQ(qlon::test::ReadFileBytes(dir.path() / "mime.def.bak"), std::string("\x09\x00\x01", 3));
  EXPECT_EQ(qlon::test::ReadFileBytes(dir.path() / "mime.def.bak2"), std::string("\x06\x00\x05\x00", 4));

  // Where it cannot be set aside, the user's file is never replaced.
  qlon::test::WriteFileBytes(path, std::string("\x06\x00\x05\x00", 4));
  for (int i = 3; i <= 100; ++i) qlon::test::WriteFileBytes(path.string() + ".bak" + std::to_string(i), "");
  EXPECT_EQ(list.LoadFromFile(path), named + " est endommagée (erreur de lecture du flux: fin de fichier inattendue) : "
                                             "la table par défaut sert jusqu'à la fin du programme, le fichier est "
                                             "laissé tel quel.");
  EXPECT_EQ(list.Count(), 13);
  EXPECT_EQ(qlon::test::ReadFileBytes(path), std::string("\x06\x00\x05\x00", 4));
}

TEST(MimeTest, IniForm) {
  qlon::test::TempRoot root;
  profile::TIniFile ini(root.path() / "profiles.ini");
  TMimeList list;
  list.Remove(list.GetItem(1));
  list.FindType("image/gif")->SetEnabled(false);
  list.SetCategoryExpanded(mcSon, true);
  ASSERT_TRUE(list.SaveToIni(ini, "P"));
  EXPECT_EQ(ini.ReadString("P", "MimeCount", ""), "13");
  EXPECT_EQ(ini.ReadString("P", "Mime0", ""), "text/html,Html,(htm,html,shtml),(256,0,0,0,0,0,0,0)");
  EXPECT_EQ(ini.ReadString("P", "Mime2", ""), "image/gif,Image,(gif),(256,1,0,0,0,0,0,0)");
  EXPECT_FALSE(ini.ValueExists("P", "Mime1"));
  EXPECT_EQ(ini.ReadString("P", "Son", ""), "1,0,0,0,0,0,0,0");

  TMimeList back;
  back.LoadFromIni(ini, "P");
  EXPECT_EQ(Save(back), Save(list));

  // Hand-edited values: unknown category, no settings, junk settings.
  ini.WriteString("Q", "MimeCount", "3");
  ini.WriteString("Q", "Mime0", "x/y,Nowhere,(a,b)");
  ini.WriteString("Q", "Mime2", "z/w,IMAGE,(c),(junk)");
  ini.WriteString("Q", "Texte", "0,1");
  back.LoadFromIni(ini, "Q");
  EXPECT_EQ(Types(back), "x/y;-;z/w;");
  EXPECT_EQ(back.GetItem(0)->Category, mcHtml);
  EXPECT_EQ(back.GetItem(0)->Extensions, "a,b");
  EXPECT_EQ(back.GetItem(2)->Category, mcImage);
  EXPECT_EQ(back.GetItem(2)->Params, TMimeParams{});
  EXPECT_FALSE(back.GetCategoryEnabled(mcTexte));
  ini.WriteString("Q", "MimeCount", "100000");
  back.LoadFromIni(ini, "Q");
  EXPECT_EQ(back.Count(), kMimeMaxSlots);
}
