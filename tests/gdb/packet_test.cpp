#include "gdb/packet.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace dravlopro::gdb {
namespace {

using Kind = InputEvent::Kind;

std::vector<InputEvent> Read(PacketReader& reader, const std::string& bytes) {
  std::vector<InputEvent> events;
  reader.Feed(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), events);
  return events;
}

std::vector<InputEvent> Read(const std::string& bytes) {
  PacketReader reader;
  return Read(reader, bytes);
}

TEST(RspPacket, EncodesWithChecksumAndEscapes) {
  EXPECT_EQ(EncodePacket("OK"), "$OK#9a");
  EXPECT_EQ(EncodePacket(""), "$#00");
  // "$", "#", "}" and "*" go as "}" and the byte XOR 0x20; the checksum
  // covers the bytes as sent.
  EXPECT_EQ(EncodePacket("a$#}*"), "$a}\x04}\x03}]}\x0a#c3");
}

TEST(RspPacket, ReadsPacketsAcksAndTheInterruptByte) {
  const std::vector<InputEvent> events = Read("+$qSupported:swbreak+#8b-\x03");
  ASSERT_EQ(events.size(), 4u);
  EXPECT_EQ(events[0].kind, Kind::Ack);
  EXPECT_EQ(events[1].kind, Kind::Packet);
  EXPECT_EQ(events[1].payload, "qSupported:swbreak+");
  EXPECT_EQ(events[2].kind, Kind::Nack);
  EXPECT_EQ(events[3].kind, Kind::Interrupt);
}

TEST(RspPacket, TakesAPacketInPiecesAndUnescapesBinaryData) {
  PacketReader reader;
  // X20000000,4: with the bytes 0x23 0x24 0x7d 0x00, escaped as they travel.
  const std::string packet = EncodePacket(std::string("X20000000,4:#$}\0", 16));
  EXPECT_EQ(packet, std::string("$X20000000,4:}\x03}\x04}]\0#4f", 23));
  std::vector<InputEvent> events;
  for (const char c : packet) {
    const std::vector<InputEvent> more = Read(reader, std::string(1, c));
    events.insert(events.end(), more.begin(), more.end());
  }
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].payload, std::string("X20000000,4:#$}\0", 16));
}

TEST(RspPacket, BadChecksumsAndOverlongPacketsAreTold) {
  EXPECT_EQ(Read("$OK#9b")[0].kind, Kind::BadChecksum);
  EXPECT_EQ(Read("$OK#zz")[0].kind, Kind::BadChecksum);
  PacketReader small(4);
  const std::vector<InputEvent> events = Read(small, EncodePacket("m0,40") + "$g#67");
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].kind, Kind::TooLong);
  EXPECT_EQ(events[1].payload, "g");
}

TEST(RspPacket, ANewDollarGivesUpACutPacketAndJunkIsPassedOver) {
  const std::vector<InputEvent> events = Read("xyz$m0,4$g#67");
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].payload, "g");
}

TEST(RspHex, NumbersAndWordsInTargetOrder) {
  std::uint32_t value = 0;
  EXPECT_TRUE(ParseHex32("20000000", value));
  EXPECT_EQ(value, 0x20000000u);
  EXPECT_TRUE(ParseHex32("000000001", value));
  EXPECT_EQ(value, 1u);
  EXPECT_FALSE(ParseHex32("100000000", value));
  EXPECT_FALSE(ParseHex32("", value));
  EXPECT_FALSE(ParseHex32("12g4", value));
  EXPECT_EQ(WordToHex(0x12345678), "78563412");
  EXPECT_TRUE(WordFromHex("78563412", value));
  EXPECT_EQ(value, 0x12345678u);
  std::vector<std::uint8_t> bytes;
  EXPECT_FALSE(FromHex("abc", bytes));
  EXPECT_FALSE(FromHex("zz", bytes));
  EXPECT_TRUE(FromHex("00fF", bytes));
  EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0x00, 0xFF}));
}

}  // namespace
}  // namespace dravlopro::gdb
