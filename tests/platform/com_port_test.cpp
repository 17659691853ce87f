// Port names as the technician knows them, read back from every form they come in.
#include "platform/kernel/com_port.h"

#include <gtest/gtest.h>

namespace {

TEST(ComPort, NamesAndNumbersGoBothWays) {
  for (unsigned number : {1u, 9u, 10u, 255u}) EXPECT_EQ(platform::ComPortNumber(platform::ComPortName(number)), number);
  EXPECT_EQ(platform::ComPortName(7), "COM7");
  const struct {
    const char* name;
    unsigned number;
  } read[] = {{"com3", 3},  {"Com12", 12}, {"COM255", 255}, {"", 0},       {"C", 0},
              {"COM", 0},   {"COM0", 0},   {"COM07", 0},    {"COM256", 0}, {"COM7x", 0},
              {"COM-1", 0}, {"USB", 0},    {"LPT1", 0},     {"COM 3", 0},  {"\\\\.\\COM3", 0}};
  for (const auto& c : read) EXPECT_EQ(platform::ComPortNumber(c.name), c.number) << '"' << c.name << '"';
}

}  // namespace
