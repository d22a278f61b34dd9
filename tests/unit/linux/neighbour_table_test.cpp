#include "linux/neighbour_table.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

namespace tavrin {
namespace {

uint32_t Ip(const char* text) { return inet_addr(text); }

constexpr const char* kTable =
    "IP address       HW type     Flags       HW address            Mask     Device\n"
    "10.77.0.20       0x1         0x2         a4:5E:60:0b:1c:2d     *        wlan0\n"
    "10.77.0.2        0x1         0x0         00:00:00:00:00:00     *        wlan0\n"
    "10.77.0.200      0x1         0x6         02:11:22:33:44:55     *        eth0\n"
    "10.77.0.3        0x1         0x2         02:11:22:33:44        *        eth0\n"
    "10.77.0.4        0x1         0x2         02-11-22-33-44-55     *        eth0";  // no final newline

TEST(NeighbourTable, FindsOnlyTheCompleteEntryOfThatExactAddress) {
  MacAddress mac{};
  ASSERT_TRUE(FindNeighbourAddress(kTable, Ip("10.77.0.20"), mac));
  EXPECT_EQ(mac, (MacAddress{0xa4, 0x5e, 0x60, 0x0b, 0x1c, 0x2d}));
  // Flags with other bits besides "complete" (a permanent entry).
  ASSERT_TRUE(FindNeighbourAddress(kTable, Ip("10.77.0.200"), mac));
  EXPECT_EQ(mac, (MacAddress{0x02, 0x11, 0x22, 0x33, 0x44, 0x55}));

  const MacAddress before = mac;
  // Still being resolved; a prefix of a listed address; addresses that do
  // not parse; not listed at all; the header is no entry.
  for (const char* address : {"10.77.0.2", "10.77.0.1", "10.77.0.3", "10.77.0.4", "192.168.1.1"})
    EXPECT_FALSE(FindNeighbourAddress(kTable, Ip(address), mac)) << address;
  EXPECT_EQ(mac, before);
  EXPECT_FALSE(FindNeighbourAddress("", Ip("10.77.0.20"), mac));
  EXPECT_FALSE(FindNeighbourAddress("10.77.0.20 0x1 0x2 a4:5e:60:0b:1c:2d * wlan0\n", Ip("10.77.0.20"), mac));
}

}  // namespace
}  // namespace tavrin
