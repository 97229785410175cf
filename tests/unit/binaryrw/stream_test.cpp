// The open file: modes, text translation, the end-of-file indicator, seeking, appending.
#include "binaryrw/binary_rw.h"
#include "unit/binaryrw/fixture.h"

namespace kelv {
namespace {

using Stream = test::ScratchDir;
using test::str;

TEST_F(Stream, ModeStringsAcceptedAndRefused) {
  write_file("f", "x");
  TBinaryRWImpl b;
  for (const char* ok : {"rb", "r", "rt", "r+b", "rb+", "r+", "r+t", "rt+", "r++", "rbxyz"})
    EXPECT_EQ(b.FOpen(path("f"), ok), 1) << ok;
  for (const char* bad : {"rw", "x", "", "R", "r+x", "rx", " r", "br"}) EXPECT_EQ(b.FOpen(path("f"), bad), 0) << bad;
  EXPECT_EQ(b.FOpen(path("missing"), "rb"), 0);
  EXPECT_EQ(str(b.FRead(16).bytes), "");
  EXPECT_EQ(b.FOpen("", "wb"), 0);
  EXPECT_EQ(b.FOpen(m_dir.string(), "rb"), 0);  // a directory is not a file
}

TEST_F(Stream, TextModeDropsCarriageReturnsAndStopsAtControlZ) {
  write_file("t",
             "A\r\nB\r\r\nC\x1A"
             "D");
  TBinaryRWImpl b;
  ASSERT_EQ(b.FOpen(path("t"), "r"), 1);
  EXPECT_EQ(str(b.FRead(100).bytes), "A\nB\nC");
  EXPECT_EQ(b.FEof(), 1);
  EXPECT_EQ(b.FReaded(), 5);
  ASSERT_EQ(b.FOpen(path("t"), "rb"), 1);
  EXPECT_EQ(str(b.FRead(100).bytes),
            "A\r\nB\r\r\nC\x1A"
            "D");
  // Writing in text mode turns each LF into CR LF.
  ASSERT_EQ(b.FOpen(path("w"), "w"), 1);
  EXPECT_EQ(b.FWrite(VarIn{VarIn::Kind::Buffer, std::span<const uint8_t>((const uint8_t*)"a\nb\n", 4), {}}), 1);
  b.FClose();
  EXPECT_EQ(read_file("w"), "a\r\nb\r\n");
}

TEST_F(Stream, EndOfFileOnlyAfterAShortReadAndClearedBySeek) {
  write_file("ten", "0123456789");
  TBinaryRWImpl b;
  ASSERT_EQ(b.FOpenRead(path("ten")), 1);
  EXPECT_EQ(str(b.FRead(10).bytes), "0123456789");
  EXPECT_EQ(b.FEof(), 0);  // at the end, but no read has stopped short yet
  EXPECT_EQ(str(b.FRead(16).bytes), "");
  EXPECT_EQ(b.FEof(), 1);
  EXPECT_EQ(b.FSeek(0, 0), 1);
  EXPECT_EQ(b.FEof(), 0);
  EXPECT_EQ(str(b.FRead(16).bytes), "0123456789");
  EXPECT_EQ(b.FReaded(), 10);
  EXPECT_EQ(b.FEof(), 1);
}

TEST_F(Stream, SeekOriginsAndLimits) {
  write_file("s", "abcdefghij");
  TBinaryRWImpl b;
  ASSERT_EQ(b.FOpenRead(path("s")), 1);
  EXPECT_EQ(b.FSeek(3, 0), 1);
  EXPECT_EQ(b.FTell(), 3);
  EXPECT_EQ(b.FSeek(2, 1), 1);
  EXPECT_EQ(b.FTell(), 5);
  EXPECT_EQ(b.FSeek(-1, 2), 1);
  EXPECT_EQ(str(b.FRead(5).bytes), "j");
  EXPECT_EQ(b.FSeek(-20, 1), 0);  // before the start
  EXPECT_EQ(b.FSeek(4, 7), 1);    // any other origin is the start
  EXPECT_EQ(b.FTell(), 4);
  EXPECT_EQ(b.FSeek(100, 0), 1);  // past the end is allowed
  EXPECT_EQ(b.FTell(), 100);
  b.FClose();
  EXPECT_EQ(b.FTell(), -1);
  EXPECT_EQ(b.FSeek(0, 0), 0);
  EXPECT_EQ(b.FEof(), 0);
}

TEST_F(Stream, ReadingAndWritingOneUpdateStream) {
  write_file("u", "hello world");
  TBinaryRWImpl b;
  ASSERT_EQ(b.FOpen(path("u"), "r+b"), 1);
  EXPECT_EQ(str(b.FRead(5).bytes), "hello");
  EXPECT_EQ(b.FWriteStr("!"), 1);  // writes "!" and a zero at position 5
  EXPECT_EQ(b.FTell(), 7);
  EXPECT_EQ(str(b.FRead(10).bytes), "orld");
  b.FClose();
  EXPECT_EQ(read_file("u"), std::string("hello!\0orld", 11));
}

TEST_F(Stream, AppendWritesGoToTheEnd) {
  write_file("a", "abc");
  TBinaryRWImpl b;
  ASSERT_EQ(b.FOpen(path("a"), "a+b"), 1);
  EXPECT_EQ(b.FSeek(0, 0), 1);
  EXPECT_EQ(str(b.FRead(1).bytes), "a");
  EXPECT_EQ(b.FWriteInt('Z', 1), 1);
  b.FClose();
  EXPECT_EQ(read_file("a"), "abcZ");
  ASSERT_EQ(b.FOpenAppend(path("a")), 1);
  EXPECT_EQ(b.FWriteStr("q"), 1);
  b.FClose();
  EXPECT_EQ(read_file("a"), std::string("abcZq\0", 6));
  ASSERT_EQ(b.FOpenAppend(path("new")), 1);  // created when missing
  b.FClose();
  EXPECT_TRUE(std::filesystem::exists(path("new")));
}

TEST_F(Stream, OpeningAgainClosesTheFirstFileAndWritesItOut) {
  TBinaryRWImpl b;
  ASSERT_EQ(b.FOpenWrite(path("one")), 1);
  EXPECT_EQ(b.FWriteStr("first"), 1);
  ASSERT_EQ(b.FOpenWrite(path("two")), 1);
  EXPECT_EQ(read_file("one"), std::string("first\0", 6));
  // A failed open also drops the stream that was held.
  EXPECT_EQ(b.FOpen(path("missing"), "rb"), 0);
  EXPECT_EQ(b.FWriteStr("x"), 0);
  // FOpenWrite truncates what was there.
  write_file("long", "0123456789");
  ASSERT_EQ(b.FOpenWrite(path("long")), 1);
  b.FWriteInt(0x41, 1);
  b.FClose();
  EXPECT_EQ(read_file("long"), "A");
}

TEST_F(Stream, WithoutAFileEveryMemberGivesItsFailureValue) {
  TBinaryRWImpl b;
  EXPECT_EQ(b.FRead(10).type, VarOut::Type::Buffer);
  EXPECT_TRUE(b.FRead(10).bytes.empty());
  EXPECT_EQ(b.FReadInt(4).type, VarOut::Type::Null);
  EXPECT_EQ(b.FReadFloat(8).type, VarOut::Type::Null);
  EXPECT_EQ(b.FWriteInt(1, 4), 0);
  EXPECT_EQ(b.FWriteFloat(1, 8), 0);
  EXPECT_EQ(b.FReadStr(10), "");
  EXPECT_EQ(b.FWriteStr("x"), 0);
  EXPECT_EQ(b.FReadStrBin(4).bytes.size(), 0u);
  EXPECT_EQ(b.FWriteStrBin(VarIn{VarIn::Kind::Text, {}, "x"}, 4, 0), 0);
  EXPECT_EQ(b.FTell(), -1);
  b.FClose();
  EXPECT_EQ(b.FReaded(), 0);
}

TEST_F(Stream, LargeReadsAndWritesCrossTheBuffer) {
  std::string big(300000, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 + i / 251);
  write_file("big", big);
  TBinaryRWImpl b;
  ASSERT_EQ(b.FOpenRead(path("big")), 1);
  std::string got = str(b.FRead(1000).bytes);
  got += str(b.FRead(200000).bytes);
  got += str(b.FRead(16384).bytes);
  got += str(b.FRead(1 << 30).bytes);  // a Size far beyond the file costs only the file
  EXPECT_EQ(got, big);
  ASSERT_EQ(b.FOpenWrite(path("copy")), 1);
  VarIn all{VarIn::Kind::Buffer, std::span<const uint8_t>((const uint8_t*)big.data(), big.size()), {}};
  EXPECT_EQ(b.FWrite(all), 1);
  b.FClose();
  EXPECT_EQ(read_file("copy"), big);
}

}  // namespace
}  // namespace kelv
