// The command line as the program reads it and hands it over.
#include <gtest/gtest.h>

#include "CommandLine.h"

namespace qlon::shell {
namespace {

TEST(CommandLine, FirstArgumentDropsQuotesAndWhatFollowsThem) {
  EXPECT_EQ(FirstArgument({"\"/a b/local.web\" -x", "second"}), "/a b/local.web");
  EXPECT_EQ(FirstArgument({"/a/local.web"}), "/a/local.web");
  EXPECT_EQ(FirstArgument({"\""}), "");
  EXPECT_EQ(FirstArgument({}), "");
}

TEST(CommandLine, UrlArgumentKeepsTheWholeAddress) {
  EXPECT_EQ(UrlArgument("URL(http://a/b)"), "http://a/b");
  EXPECT_EQ(UrlArgument("url(http://a/(x))"), "http://a/(x)");
  EXPECT_EQ(UrlArgument("URL()"), "");
  EXPECT_EQ(UrlArgument("URL("), "");
  EXPECT_EQ(UrlArgument(")URL("), "");
}

TEST(CommandLine, FilesAreKnownByTheirExtensionWhateverItsCase) {
  for (const char* file : {"/a/local.web", "/a/LOCAL.WEB", "run.wbs", "x.Url"})
    EXPECT_TRUE(IsFileArgument(file)) << file;
  for (const char* other : {"/a/local.web.old", "/a/web", "URL(http://a/b.web)", ".we", ""})
    EXPECT_FALSE(IsFileArgument(other)) << other;
}

TEST(CommandLine, AHandOverMakesFileNamesAbsolute) {
  EXPECT_EQ(HandOverArguments({"run.wbs", "\"sub/x.web\" -v", "/B", "/abs/c.url"}, "/home/u"),
            (StringList{"/home/u/run.wbs", "/home/u/sub/x.web", "/B", "/abs/c.url"}));
}

}  // namespace
}  // namespace qlon::shell
