#include "Dde.h"

#include <gtest/gtest.h>

namespace qlon::platform {
namespace {

using Exchange = ScriptedDdeServer::Exchange;

TEST(Dde, WithoutAServerNothingOpens) {
  DdeClientConv conv;
  conv.SetLink("NETSCAPE", "WWW_OpenURL");
  EXPECT_FALSE(conv.OpenLink());
  EXPECT_FALSE(conv.RequestData("x"));
  EXPECT_FALSE(conv.PokeData("x", "y"));
}

TEST(Dde, ConversationReachesTheServerOfItsServiceAndTopic) {
  ScriptedDdeServer server("Netscape");
  server.refusedTopics = {"WWW_Exit"};
  server.answers["WWW_OpenURL"] = std::string("\x01\x00\x00\x00", 4);
  DdeClientConv conv;
  conv.SetLink("NETSCAPE", "WWW_Exit");
  EXPECT_FALSE(conv.OpenLink());  // topic refused
  conv.SetLink("netscape", "WWW_OpenURL");
  ASSERT_TRUE(conv.OpenLink());
  EXPECT_EQ(conv.RequestData("\"http://h/\",,0xffffffff"), std::string("\x01\x00\x00\x00", 4));
  EXPECT_TRUE(conv.PokeData("item", "data"));
  conv.CloseLink();
  EXPECT_FALSE(conv.RequestData("after close"));

  conv.SetLink("NETSCAPE", "WWW_Other");
  ASSERT_TRUE(conv.OpenLink());
  EXPECT_FALSE(conv.RequestData("unanswered"));
  server.pokeResult = false;
  EXPECT_FALSE(conv.PokeData("i", "d"));
  EXPECT_EQ(server.exchanges, (std::vector<Exchange>{{"connect", "WWW_Exit", "", ""},
                                                    {"connect", "WWW_OpenURL", "", ""},
                                                    {"request", "WWW_OpenURL", "\"http://h/\",,0xffffffff", ""},
                                                    {"poke", "WWW_OpenURL", "item", "data"},
                                                    {"connect", "WWW_Other", "", ""},
                                                    {"request", "WWW_Other", "unanswered", ""},
                                                    {"poke", "WWW_Other", "i", "d"}}));
}

TEST(Dde, ServiceNamesAreUniqueAndGoAwayWithTheirServer) {
  DdeClientConv conv;
  {
    ScriptedDdeServer first("IEXPLORE");
    ScriptedDdeServer second("iexplore");  // the name is taken: not registered
    conv.SetLink("IExplore", "T");
    ASSERT_TRUE(conv.OpenLink());
    EXPECT_EQ(first.exchanges.size(), 1u);
    EXPECT_TRUE(second.exchanges.empty());
  }
  // The first one's destructor freed the name; the second never held it.
  EXPECT_FALSE(conv.RequestData("gone"));
  conv.SetLink("IEXPLORE", "T");
  EXPECT_FALSE(conv.OpenLink());
  EXPECT_FALSE(RegisterDdeServer("", nullptr));
}

}  // namespace
}  // namespace qlon::platform
