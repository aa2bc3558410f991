#include "Options.h"

#include <QBuffer>
#include <gtest/gtest.h>

#include "Profile.h"
#include "TempRoot.h"
#include "StreamBytes.h"
#include "Utils.h"

using namespace qlon;

namespace {

QByteArray Save(const TOptions& options, int version = 513) {
  return test::WrittenBytes([&](QIODevice& out) { options.SaveToStream(out, version); });
}

void Load(TOptions& options, const QByteArray& bytes, int version = 513) {
  test::ReadFromBytes(bytes, [&](QIODevice& in) { options.LoadFromStream(in, version); });
}

// Options with every field away from its defaults.
void Fill(TOptions& o) {
  o.InternalPathLimit = true;
  o.RefLimit = true;
  o.InternalLinkDepth = 7;
  o.ExternalWebDepth = 2;
  o.ExternalLinkDepth = -3;
  o.StreamOnlyFlag = true;
  o.ErrorUrlFlag = o.FilteredUrlFlag = o.VignetteFlag = o.NotExploreFrameFlag = o.BackgroundOnlyFlag = true;
  o.CheckDomainMachineFlag = o.UseWebStructureFlag = o.ShortFileNameFlag = o.DownloadVrmlFlag = true;
  o.NewMimeValidStateFlag = true;
  o.MaxFileCount = 1000;
  o.MaxFileSize = 20;
  o.MinFileSize = 1;
  o.MaxDiskSize = 300;
  o.MaxTime = 45;
  o.ProfileName = "Mon profil";
  o.ProfileBaseName = "Tout le répertoire";
  o.Filters().Add("http://host.example/private/", kFilterExcluded);
  o.MimeList().AddType("image/png", "png", 0, mcImage, false);
  o.MimeList().SetCategoryEnabled(mcSon, false);
}

}  // namespace

TEST(OptionsTest, StreamRoundTripAndAssign) {
  TOptions a;
  Fill(a);
  const QByteArray bytes = Save(a);
  TOptions b;
  Load(b, bytes);
  EXPECT_EQ(Save(b), bytes);
  EXPECT_EQ(b.ExternalLinkDepth, -3);
  EXPECT_EQ(b.ProfileBaseName, "Tout le répertoire");
  EXPECT_TRUE(b.Filters().IsExcluded("http://host.example/private/x.htm"));
  EXPECT_FALSE(b.MimeList().FindType("image/png")->IsEnabled());
  // The fixed part: 3 bytes, 8 int16, 7 bytes, then the version's extras.
  EXPECT_EQ(bytes.left(3).toHex(), "000101");
  EXPECT_EQ(bytes.mid(3, 6).toHex(), "07000200fdff");
  EXPECT_EQ(bytes.mid(9, 10).toHex(), "e80314000100" "2c012d00");

  TOptions c;
  c.Assign(a);
  EXPECT_EQ(Save(c), bytes);
}

TEST(OptionsTest, LargeLimitsAreClampedNotWrapped) {
  TOptions a;
  a.MaxFileCount = 40000;
  a.MaxDiskSize = -5;
  TOptions b;
  Load(b, Save(a));
  EXPECT_EQ(b.MaxFileCount, 32767);
  EXPECT_EQ(b.MaxDiskSize, 0);
}

TEST(OptionsTest, OlderStreamVersions) {
  TOptions a;
  Fill(a);
  a.MaxDiskSize = 2048;
  // Versions 20 and 21 lack the later fields, which keep their values.
  const QByteArray v20 = Save(a, 20);
  TOptions b;
  b.ShortFileNameFlag = true;
  b.ProfileName = "kept";
  Load(b, v20, 21);
  EXPECT_TRUE(b.ShortFileNameFlag);
  EXPECT_FALSE(b.CheckDomainMachineFlag);
  EXPECT_EQ(b.ProfileName, "kept");
  EXPECT_EQ(b.MaxDiskSize, 2048);
  EXPECT_TRUE(b.Filters().IsExcluded("http://host.example/private/"));

  // Version 19: two strings after the flags, MaxDiskSize in kilobytes.
  QByteArray v19 = v20;
  v19.insert(26, QByteArray::fromHex("02414201 43"));
  TOptions c;
  Load(c, v19, 19);
  EXPECT_EQ(c.MaxDiskSize, 2);
  EXPECT_EQ(c.MaxTime, 45);
  EXPECT_NE(c.MimeList().FindType("image/png"), nullptr);
}

TEST(OptionsTest, TruncatedStreamsRaise) {
  TOptions a;
  Fill(a);
  const QByteArray bytes = Save(a);
  for (int cut : {0, 2, 10, 25, 40, int(bytes.size()) - 1}) {
    TOptions b;
    EXPECT_THROW(Load(b, bytes.left(cut)), EReadError) << cut;
  }
}

TEST(OptionsTest, IniRoundTripKeepsEveryField) {
  qlon::test::TempRoot root;
  profile::TIniFile ini(root.path() / "profiles.ini");
  TOptions a;
  Fill(a);
  a.NewMimeValidStateFlag = false;
  ASSERT_TRUE(a.SaveToIni(ini, "Mon profil"));
  const auto keys = ini.ReadSection("Mon profil");
  ASSERT_GE(keys.size(), 29u);
  EXPECT_EQ(keys[0], "InternalPathLimit");
  EXPECT_EQ(keys[13], "MaxFileCount");
  EXPECT_EQ(keys[24], "ProfileBaseName");
  EXPECT_EQ(ini.ReadString("Mon profil", "RefLimit", ""), "1");
  EXPECT_EQ(ini.ReadString("Mon profil", "ExternalPathLimit", ""), "0");

  TOptions b;
  b.StreamOnlyFlag = true;  // not an ini key
  b.NewMimeValidStateFlag = true;
  b.ProfileName = a.ProfileName;
  b.LoadFromIni(ini, "Mon profil");
  EXPECT_EQ(Save(b), Save(a));

  // Missing keys take the defaults of the ini form.
  TOptions c;
  c.LoadFromIni(ini, "Nothing");
  EXPECT_TRUE(c.InternalPathLimit && c.ExternalPathLimit && c.ResolvedUrlFlag && c.RealLinkFlag);
  EXPECT_TRUE(c.DownLoadAppletJavaFlag);
  EXPECT_EQ(c.InternalLinkDepth, 100);
  EXPECT_FALSE(c.ErrorUrlFlag || c.DownloadFTPFlag);
}

TEST(OptionsTest, Presets) {
  TOptions o;
  o.SetDefault(6);
  EXPECT_EQ(o.InternalLinkDepth, 0);
  EXPECT_FALSE(o.InternalPathLimit);
  EXPECT_EQ(o.ProfileName, "La première page seulement");

  o.SetDefault(4);
  EXPECT_EQ(o.InternalLinkDepth, 100);
  EXPECT_TRUE(o.InternalPathLimit && o.ExternalPathLimit);
  EXPECT_TRUE(o.MimeList().FindType("image/gif")->IsEnabled());
  EXPECT_FALSE(o.MimeList().FindType("text/html")->IsEnabled());
  EXPECT_FALSE(o.MimeList().GetCategoryEnabled(mcHtml));

  o.SetDefault(2);
  EXPECT_FALSE(o.InternalPathLimit);
  EXPECT_TRUE(o.MimeList().FindType("text/html")->IsEnabled());
  EXPECT_FALSE(o.MimeList().FindType("text/plain")->IsEnabled());

  o.MimeList().SetCategoryEnabled(mcTexte, false);
  o.SetDefault(7);  // site map: Html items only, category records as they were
  EXPECT_FALSE(o.MimeList().FindType("image/gif")->Params.Disabled == 0);
  EXPECT_EQ(o.MimeList().FindType("text/html")->Params.Disabled, 0);
  EXPECT_FALSE(o.MimeList().GetCategoryEnabled(mcTexte));
  EXPECT_TRUE(o.MimeList().GetCategoryEnabled(mcImage));

  EXPECT_TRUE(IsPresetProfileName("TOUT LE SITE"));
  EXPECT_TRUE(IsPresetProfileName("plan du site (uniquement les pages html)"));
  EXPECT_FALSE(IsPresetProfileName("Tout le"));
}

TEST(OptionsTest, ProfileFile) {
  qlon::test::TempRoot root;
  const auto path = root.path() / "profiles.ini";
  TProfileList profiles(path);
  const auto& names = profiles.GetProfileNames();
  ASSERT_EQ(names.size(), 8u);
  for (int k = 0; k < kPresetCount; ++k) EXPECT_EQ(names[k], kPresetNames[k]);
  EXPECT_EQ(profiles.GetDefaultProfile(), "Tout le site");
  profile::TIniFile ini(path);
  EXPECT_FALSE(ini.SectionExists("ProfileList"));
  EXPECT_TRUE(ini.ValueExists("Tout le répertoire", "Mime12"));
  EXPECT_TRUE(ini.ValueExists("Tout le répertoire", "Defaut"));

  TOptions o;
  ASSERT_TRUE(profiles.LoadProfile(&o, "toutes les images du site"));
  EXPECT_FALSE(o.MimeList().FindType("text/html")->IsEnabled());
  EXPECT_TRUE(o.MimeList().FindType("image/jpeg")->IsEnabled());
  EXPECT_FALSE(profiles.LoadProfile(&o, "Absent"));
  EXPECT_FALSE(profiles.LoadProfile(nullptr, "Tout le site"));

  o.MaxTime = 9;
  ASSERT_TRUE(profiles.SaveProfile(o, "Mien"));
  profiles.SetDefaultProfile("Mien");
  TOptions p;
  ASSERT_TRUE(profiles.LoadDefaultProfile(&p));
  EXPECT_EQ(p.MaxTime, 9);
  EXPECT_EQ(p.ProfileName, "Mien");
  EXPECT_EQ(profiles.GetProfileNames().size(), 9u);  // "ProfileList" is not a profile
  EXPECT_TRUE(profiles.DeleteProfile("Mien"));
  EXPECT_EQ(profiles.GetProfileNames().size(), 8u);

  // An existing file is left as it is.
  ini.EraseSection("Tout le site");
  TProfileList again(path);
  EXPECT_EQ(again.GetProfileNames().size(), 7u);

  // Without the file nothing is created or answered.
  std::filesystem::remove(path);
  EXPECT_FALSE(profiles.SaveProfile(o, "X"));
  profiles.SetDefaultProfile("X");
  EXPECT_FALSE(profiles.DeleteProfile("X"));
  EXPECT_TRUE(profiles.GetProfileNames().empty());
  EXPECT_EQ(profiles.GetDefaultProfile(), "");
  EXPECT_FALSE(std::filesystem::exists(path));
}
