#include <cmath>
#include <limits>
#include <string>

#include <QBuffer>
#include <QByteArray>
#include <QFile>

#include <gtest/gtest.h>

#include "TempRoot.h"
#include "UtilsStream.h"
#include "UtilsText.h"

namespace qlon {
namespace {

// A buffer opened for writing, then reread from the start.
class StreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    buffer_.setBuffer(&bytes_);
    ASSERT_TRUE(buffer_.open(QIODevice::ReadWrite));
  }
  QBuffer& Rewound() {
    buffer_.seek(0);
    return buffer_;
  }
  QBuffer& Over(const QByteArray& data) {
    buffer_.close();
    bytes_ = data;
    buffer_.open(QIODevice::ReadOnly);
    return buffer_;
  }
  QByteArray bytes_;
  QBuffer buffer_;
};

TEST_F(StreamTest, NumbersAreLittleEndianAndUnpadded) {
  WriteByte(0xAB, buffer_);
  WriteInt16(-2, buffer_);
  WriteWord(0x1234, buffer_);
  WriteInt32(0x01020304, buffer_);
  WriteDouble(1.0, buffer_);
  EXPECT_EQ(bytes_, QByteArray::fromHex("ab" "feff" "3412" "04030201" "000000000000f03f"));
}

TEST(ByteBuffer, ValuesAreLittleEndianAtAnyOffset) {
  std::uint8_t bytes[15] = {};
  PutLE16(bytes + 1, 0x1234);
  PutLE32(bytes + 3, 0x01020304);
  PutLE64(bytes + 7, 0x1122334455667788ull);
  EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(bytes), sizeof bytes),
            QByteArray::fromHex("00" "3412" "04030201" "8877665544332211"));
  EXPECT_EQ(GetLE16(bytes + 1), 0x1234);
  EXPECT_EQ(GetLE32(bytes + 3), 0x01020304u);
  EXPECT_EQ(GetLE64(bytes + 7), 0x1122334455667788ull);
  const std::uint8_t high[4] = {0xFF, 0xFF, 0xFF, 0xFE};  // no sign extension
  EXPECT_EQ(GetLE32(high), 0xFEFFFFFFu);
}

TEST_F(StreamTest, NumbersRoundTrip) {
  const double values[] = {0.0, -1.5, 36526.75, std::numeric_limits<double>::max(), -0.0};
  WriteInt32(std::numeric_limits<std::int32_t>::min(), buffer_);
  WriteInt16(std::numeric_limits<std::int16_t>::min(), buffer_);
  for (double v : values) WriteDouble(v, buffer_);
  QBuffer& in = Rewound();
  EXPECT_EQ(ReadInt32(in), std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(ReadInt16(in), std::numeric_limits<std::int16_t>::min());
  for (double v : values) {
    const double got = ReadDouble(in);
    EXPECT_EQ(got, v);
    EXPECT_EQ(std::signbit(got), std::signbit(v));
  }
  EXPECT_TRUE(in.atEnd());
}

TEST_F(StreamTest, Int16IsSignExtendedWordIsNot) {
  EXPECT_EQ(int{ReadInt16(Over(QByteArray::fromHex("ffff")))}, -1);
  EXPECT_EQ(int{ReadWord(Over(QByteArray::fromHex("ffff")))}, 65535);
}

TEST_F(StreamTest, PlainReadsYieldZeroAtTheEnd) {
  QBuffer& in = Over(QByteArray::fromHex("0102"));
  EXPECT_EQ(ReadInt32(in), 0x0201);  // the two bytes there, the rest 0
  EXPECT_EQ(ReadByte(in), 0);
  EXPECT_EQ(ReadInt16(in), 0);
  EXPECT_EQ(ReadDouble(in), 0.0);
  std::string text = "stale";
  EXPECT_FALSE(ReadShortString(in, text));
  EXPECT_EQ(text, "");
}

TEST_F(StreamTest, CheckedReadsRaiseWhenTheStreamEndsInsideAValue) {
  EXPECT_THROW(ReadInt32Checked(Over(QByteArray::fromHex("010203"))), EReadError);
  EXPECT_THROW(ReadByteChecked(Over(QByteArray())), EReadError);
  EXPECT_THROW(ReadDoubleChecked(Over(QByteArray(7, '\0'))), EReadError);
  EXPECT_THROW(ReadInt16Checked(Over(QByteArray(1, '\1'))), EReadError);
  EXPECT_THROW(ReadShortStringChecked(Over(QByteArray("\x05" "abc", 4))), EReadError);
  EXPECT_THROW(ReadShortStringChecked(Over(QByteArray())), EReadError);
  EXPECT_EQ(ReadShortStringChecked(Over(QByteArray("\x03" "abc", 4))), "abc");
  EXPECT_EQ(ReadWordChecked(Over(QByteArray::fromHex("3412"))), 0x1234);
}

TEST_F(StreamTest, TruncatedShortStringKeepsWhatWasThere) {
  std::string text;
  EXPECT_FALSE(ReadShortString(Over(QByteArray("\x05" "abc", 4)), text));
  EXPECT_EQ(text, "abc");
}

TEST_F(StreamTest, ShortStringIsALengthByteThenTheBytes) {
  EXPECT_TRUE(WriteShortString("héllo", buffer_));
  EXPECT_TRUE(WriteShortString(std::string(), buffer_));
  EXPECT_EQ(bytes_, QByteArray("\x06h\xc3\xa9llo\x00", 8));
  QBuffer& in = Rewound();
  EXPECT_EQ(ReadShortString(in), "héllo");
  std::string empty = "x";
  EXPECT_TRUE(ReadShortString(in, empty));
  EXPECT_EQ(empty, "");
}

TEST_F(StreamTest, LongShortStringIsCutTo255Bytes) {
  const std::string text(300, 'x');
  EXPECT_FALSE(WriteShortString(text, buffer_));
  ASSERT_EQ(bytes_.size(), 256);
  EXPECT_EQ(static_cast<unsigned char>(bytes_[0]), 255);
  EXPECT_EQ(ReadShortString(Rewound()), text.substr(0, 255));
}

TEST_F(StreamTest, ShortStringNeverCutsInsideAUtf8Character) {
  // 254 ASCII bytes then "é" (2 bytes) would end at byte 256: the whole
  // character goes, leaving 254 bytes.
  const std::string twoByte = std::string(254, 'a') + "é";
  // 253 bytes then "€" (3 bytes) and 252 then "😀" (4 bytes).
  const std::string threeByte = std::string(253, 'a') + "€";
  const std::string fourByte = std::string(252, 'a') + "😀" + "tail";
  for (const std::string& text : {twoByte, threeByte, fourByte}) {
    buffer_.close();
    bytes_.clear();
    buffer_.open(QIODevice::ReadWrite);
    EXPECT_FALSE(WriteShortString(text, buffer_));
    const std::string back = ReadShortString(Rewound());
    EXPECT_EQ(back, text.substr(0, back.size()));
    EXPECT_EQ(back, std::string(back.size(), 'a')) << "kept a broken character";
    EXPECT_GE(back.size(), 252u);
  }
  // A character ending exactly at byte 255 is kept.
  EXPECT_EQ(Utf8Prefix(std::string(253, 'a') + "é!", 255).size(), 255u);
}

TEST_F(StreamTest, NonUtf8BytesAreCutAsSingleCharacters) {
  // Windows-1252 texts of old files: a run of bytes that look like UTF-8
  // continuations must not eat the text.
  const std::string legacy(300, '\xA0');
  EXPECT_EQ(Utf8Prefix(legacy, 255).size(), 255u);
}

TEST_F(StreamTest, QStringShortStringsAreUtf8) {
  EXPECT_TRUE(WriteShortString(QStringLiteral("Août"), buffer_));
  QString back;
  EXPECT_TRUE(ReadShortString(Rewound(), back));
  EXPECT_EQ(back, QStringLiteral("Août"));
  EXPECT_EQ(bytes_.size(), 1 + 5);
}

TEST(StreamFile, WriteToAReadOnlyDeviceRaises) {
  test::TempDir dir;
  const QString path = QString::fromStdString((dir.path() / "f.bin").string());
  test::WriteFileBytes(dir.path() / "f.bin", "abcd");
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_THROW(WriteInt32(1, file), EWriteError);
  EXPECT_THROW(WriteShortString("x", file), EWriteError);
  EXPECT_EQ(ReadInt32(file), 0x64636261);
}

TEST(StoredDates, OffsetIsDaysFromYearOne) {
  EXPECT_EQ(DateToStored(0.0), 693594.0);
  EXPECT_EQ(StoredToDate(DateToStored(36526.25)), 36526.25);
}

}  // namespace
}  // namespace qlon
