#include "link/fcs.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

WORD Fcs(const std::string& text) { return wire::ComputeFcs(reinterpret_cast<const BYTE*>(text.data()), text.size()); }

// The CRC computed bit by bit, to hold the table-driven one against.
WORD BitwiseFcs(const std::vector<BYTE>& data) {
  WORD crc = 0xFFFF;
  for (BYTE b : data) {
    crc ^= b;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? static_cast<WORD>((crc >> 1) ^ 0x8408) : (crc >> 1);
  }
  return static_cast<WORD>(crc ^ 0xFFFF);
}

TEST(Fcs, MatchesTheStandardCheckValues) {
  EXPECT_EQ(Fcs("123456789"), 0x906E);
  EXPECT_EQ(Fcs("abc"), 0x9E25);
}

TEST(Fcs, TableHoldsTheKnownEntriesOfTheReflectedPolynomial) {
  EXPECT_EQ(wire::kFcsTable[0], 0x0000);
  EXPECT_EQ(wire::kFcsTable[1], 0x1189);
  EXPECT_EQ(wire::kFcsTable[128], 0x8408);
  EXPECT_EQ(wire::kFcsTable[255], 0x0F78);
}

TEST(Fcs, TableDrivenAgreesWithBitwiseOnRandomData) {
  std::mt19937 random(7);
  for (int round = 0; round < 200; ++round) {
    std::vector<BYTE> data(random() % 600);
    for (BYTE& b : data) b = static_cast<BYTE>(random());
    EXPECT_EQ(wire::ComputeFcs(data.data(), data.size()), BitwiseFcs(data)) << "length " << data.size();
  }
}

}  // namespace
