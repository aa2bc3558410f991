#include <string>

#include <gtest/gtest.h>

#include "UtilsText.h"

namespace qlon {
namespace {

struct MatchCase {
  const char* mask;
  const char* text;
  bool caseSensitive;
  bool substring;
  bool expected;
};

TEST(MatchWildcard, Table) {
  const MatchCase cases[] = {
      {"*.htm", "index.htm", false, false, true},
      {"*.htm", "INDEX.HTM", false, false, true},
      {"*.htm", "INDEX.HTM", true, false, false},
      {"*.htm", ".htm", false, false, true},  // the star may match nothing
      {"a*b", "ab", false, false, true},
      {"a*b", "axxbyyb", false, false, true},
      {"a*b", "axxbyyc", false, false, false},
      {"a?", "a", false, false, false},
      {"a?", "ab", false, false, true},
      {"*?x", "x", false, false, false},
      {"*?x", "ax", false, false, true},
      {"*a*b*c", "xxcbaxbxc", false, false, true},  // needs backtracking
      {"abc", "xabcx", false, true, true},
      {"abc", "xabcx", false, false, false},
      {"ABC", "abc", false, false, true},
      {"ABC", "abc", true, false, false},
      {"", "abc", false, false, false},
      {"*", "", false, false, false},
      {"*", "anything", false, false, true},
      {"http://*.example.com/*", "http://www.example.com/a/b.html", false, false, true},
      {"???", "août", false, false, false},  // characters, not bytes
      {"????", "août", false, false, true},
      {"AOÛT*", "août 2000", false, false, true},
  };
  for (const MatchCase& c : cases)
    EXPECT_EQ(MatchWildcard(c.mask, c.text, c.caseSensitive, c.substring), c.expected)
        << c.mask << " vs " << c.text << (c.caseSensitive ? " (case)" : "") << (c.substring ? " (substring)" : "");
}

TEST(MatchWildcard, ManyStarsStayFast) {
  // Exponential matchers hang on this; ours is quadratic at worst.
  const std::string mask = std::string(40, '*') + "b";
  EXPECT_FALSE(MatchWildcard("a" + mask, std::string(5000, 'a'), false, false));
}

// What may reach a terminal: every character as it is, the controls and
// the bytes of no character escaped, and nothing that looks like UTF-8 but
// is not taken for it.
TEST(PrintableText, EscapesControlsAndBrokenCharactersOnly) {
  const std::pair<std::string, std::string> cases[] = {
      {"/home/été/Œuvre 日本 🎉.web", "/home/été/Œuvre 日本 🎉.web"},
      {"a\x1b[2Jb\tc\r\n\x7f", "a\\x1B[2Jb\\x09c\\x0D\\x0A\\x7F"},
      {std::string("nul\0end", 7), "nul\\x00end"},
      {"\xc2\x85 \xc2\x9b", "\\xC2\\x85 \\xC2\\x9B"},            // C1 controls (NEL, CSI)
      {"\xff\xfe", "\\xFF\\xFE"},                                 // bytes that never lead
      {"\xc3(", "\\xC3("},                                         // a lead without its continuation
      {"\xc3", "\\xC3"},                                           // cut at the end
      {"\xc0\xaf \xe0\x80\xaf", "\\xC0\\xAF \\xE0\\x80\\xAF"},  // overlong "/"
      {"\xed\xa0\x80", "\\xED\\xA0\\x80"},                         // a surrogate
      {"\xf4\x90\x80\x80", "\\xF4\\x90\\x80\\x80"},                 // past U+10FFFF
      {"\xa0\xa0x", "\\xA0\\xA0x"},                               // Windows-1252 text
  };
  for (const auto& [text, printable] : cases) EXPECT_EQ(PrintableText(text), printable) << printable;
}

TEST(SplitString, KeepsInnerEmptyPartsDropsFinalOne) {
  EXPECT_EQ(SplitString("a,,b,", ','), (StringList{"a", "", "b"}));
  EXPECT_EQ(SplitString("", ','), StringList{});
  EXPECT_EQ(SplitString(",", ','), StringList{""});
  StringList list{"kept"};
  SplitString("x;y", ';', list);
  EXPECT_EQ(list, (StringList{"kept", "x", "y"}));
  EXPECT_EQ(JoinStrings(SplitString("a,,b", ','), ','), "a,,b");
  EXPECT_EQ(JoinStrings({}, ','), "");
}

TEST(SplitFields, BracketedFieldsHoldCommas) {
  EXPECT_EQ(SplitFields("text/html,Html,(htm,html),(1,2)", 5), (StringList{"text/html", "Html", "htm,html", "1,2"}));
  EXPECT_EQ(SplitFields("a,b,c,d", 2), (StringList{"a", "b"}));
  EXPECT_EQ(SplitFields("(htm),x", 5), (StringList{"htm", "x"}));
  EXPECT_EQ(SplitFields("x,(htm)", 5), (StringList{"x", "(htm)"}));  // no comma after "(": plain
  EXPECT_EQ(SplitFields("(a,b)junk,c", 5), (StringList{"a,b", "c"}));
  EXPECT_EQ(SplitFields("x,(a,b", 5), (StringList{"x", "a,b"}));  // unclosed: the rest, not lost
  const std::string longList(600, 'e');
  EXPECT_EQ(SplitFields("m,(" + longList + ",f),last", 5), (StringList{"m", longList + ",f", "last"}));
}

TEST(Words, StartEndAndSplit) {
  const std::string text = "  GET /a\tHTTP/1.0\r\n";
  EXPECT_EQ(WordStart(text, 1), 3u);
  EXPECT_EQ(WordEnd(text, 3), 5u);
  EXPECT_EQ(WordStart(text, 18), 0u);
  EXPECT_EQ(WordEnd("abc", 1), 3u);
  EXPECT_EQ(SplitWords(text), (StringList{"GET", "/a", "HTTP/1.0"}));
  EXPECT_EQ(SplitWords(" \t "), StringList{});
  // Beyond 255 bytes positions still work.
  const std::string longLine = std::string(300, ' ') + "word";
  EXPECT_EQ(WordStart(longLine, 1), 301u);
  EXPECT_EQ(SplitWords(longLine), StringList{"word"});
  std::string many;
  for (int i = 0; i < 150; ++i) many += "w ";
  EXPECT_EQ(SplitWords(many).size(), kMaxWords);
  EXPECT_EQ(WordIndex("Circle", "rect rectangle circle poly polygon"), 3u);
  EXPECT_EQ(WordIndex("oval", "rect rectangle circle poly polygon"), 0u);
}

TEST(Trim, BlanksAndCharSets) {
  EXPECT_EQ(TrimBlanks("\t a b \r\n"), "a b");
  EXPECT_EQ(TrimBlanks("   "), "");
  EXPECT_EQ(TrimCharSet("\"quoted\"", "\"", kTrimStart | kTrimEnd), "quoted");
  EXPECT_EQ(TrimCharSet("--a-b--", "-", kTrimStart), "a-b--");
  EXPECT_EQ(TrimCharSet("--a-b--", "-", kTrimEnd), "--a-b");
  EXPECT_EQ(TrimCharSet("--a-b--", "-", kTrimAll), "ab");
  EXPECT_EQ(TrimCharSet("----", "-", kTrimStart | kTrimEnd), "");
  EXPECT_EQ(TrimCharSet("-x-", "-", kTrimStart | kTrimEnd), "x");
}

TEST(SmallTextRoutines, Table) {
  std::uint32_t v = 99;
  EXPECT_TRUE(HexToInt("1aF", v));
  EXPECT_EQ(v, 0x1AFu);
  EXPECT_TRUE(HexToInt("", v));
  EXPECT_EQ(v, 0u);
  EXPECT_FALSE(HexToInt("12G4", v));
  EXPECT_EQ(v, 0x12u);
  EXPECT_TRUE(HasWildcards("a?b"));
  EXPECT_FALSE(HasWildcards("abc"));
  EXPECT_TRUE(IsNumeric("1.0.3"));
  EXPECT_TRUE(IsNumeric(""));
  EXPECT_FALSE(IsNumeric("1e3"));
  EXPECT_EQ(CountChar('/', "http://a/b"), 3u);
  std::string t = "a-b-c";
  ReplaceFirst(t, "-", "+");
  EXPECT_EQ(t, "a+b-c");
  ReplaceFirst(t, "zz", "+");
  ReplaceFirst(t, "", "+");
  EXPECT_EQ(t, "a+b-c");
  EXPECT_EQ(UpperCase("Quillon 98é"), "QUILLON 98é");
}

TEST(FormatSize, FrenchUnits) {
  EXPECT_EQ(FormatSize(0, 999), " 999 Octets");
  EXPECT_EQ(FormatSize(0, 1023), "1 023 Octets");
  EXPECT_EQ(FormatSize(0, 0), "0 Octets");
  EXPECT_EQ(FormatSize(0, 1536), "1 Ko");
  EXPECT_EQ(FormatSize(0, 1048576), "1 024 Ko");
  EXPECT_EQ(FormatSize(0, 3145728), "3,0 Mo");
  EXPECT_EQ(FormatSize(0, 3 * 1048576 + 512 * 1024), "3,512 Mo");
  EXPECT_EQ(FormatSize(1, 0), "4,0 Go");
  EXPECT_EQ(FormatSize(0xFFFFFFFF, 0xFFFFFFFF), "17179869183,1023 Go");  // no overflow
}

TEST(Dates, DayCountsRoundTripThroughQDateTime) {
  EXPECT_EQ(DateTimeToQDateTime(0.0), QDateTime(QDate(1899, 12, 30), QTime(0, 0)));
  EXPECT_EQ(DateTimeToQDateTime(36526.5), QDateTime(QDate(2000, 1, 1), QTime(12, 0)));
  // Before day 0 the fraction still counts from midnight forward.
  EXPECT_EQ(DateTimeToQDateTime(-1.25), QDateTime(QDate(1899, 12, 29), QTime(6, 0)));
  for (double d : {36526.5, -1.25, 45000.999988425926})
    EXPECT_NEAR(QDateTimeToDateTime(DateTimeToQDateTime(d)), d, 1e-8);
  EXPECT_FALSE(DateTimeToQDateTime(std::numeric_limits<double>::quiet_NaN()).isValid());
  EXPECT_EQ(DateTimeText(std::numeric_limits<double>::infinity()), "");
}

TEST(Dates, TextUsesFrenchNames) {
  // 2000-01-03 was a Monday.
  const std::string text = DateTimeText(36528.0 + (14 * 3600 + 5 * 60 + 9) / 86400.0);
  EXPECT_EQ(text.rfind("lundi 3 janv", 0), 0u) << text;
  EXPECT_NE(text.find("2000,14:05:09"), std::string::npos) << text;
}

}  // namespace
}  // namespace qlon
