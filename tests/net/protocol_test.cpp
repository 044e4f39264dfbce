// The wire records of the disk query protocol: byte order of the header and of the
// 64-bit sizes, checked against bytes written out by hand.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "net/protocol.h"
#include "tests/support/fake_peer.h"

namespace {

std::string Bytes(const void* data, size_t size) {
    return std::string(static_cast<const char*>(data), size);
}

TEST(Protocol, HeaderToNetWritesEveryFieldBigEndian) {
    PacketHeader header = {FSW_MAGIC, FSW_PROTOCOL_VERSION, TYPE_DISK_INFO, STATUS_DISK_ERROR,
                           0x01020304u};
    HeaderToNet(&header);
    EXPECT_EQ(std::string("\x07\x21\x00\x02\x00\x01\x02\x00\x01\x02\x03\x04", 12),
              Bytes(&header, sizeof header));
}

TEST(Protocol, HeaderFromNetReadsWhatHeaderToNetWrote) {
    std::string wire = WireHeader(1825, 2, 0, 256, 16);
    PacketHeader header;
    memcpy(&header, wire.data(), sizeof header);
    HeaderFromNet(&header);
    EXPECT_EQ(1825, header.magic);
    EXPECT_EQ(2, header.version);
    EXPECT_EQ(0, header.type);
    EXPECT_EQ(STATUS_OK, header.status);
    EXPECT_EQ(16u, header.length);
    HeaderToNet(&header);
    EXPECT_EQ(wire, Bytes(&header, sizeof header));
}

TEST(Protocol, SizesAbove4GiBTravelIntactMostSignificantByteFirst) {
    uint64_t fiveGiB = 5368709120ull;
    U64ToNet(&fiveGiB);
    EXPECT_EQ(std::string("\x00\x00\x00\x01\x40\x00\x00\x00", 8), Bytes(&fiveGiB, 8));
    U64FromNet(&fiveGiB);
    EXPECT_EQ(5368709120ull, fiveGiB);

    uint64_t mixed = 0x0102030405060708ull;
    U64ToNet(&mixed);
    EXPECT_EQ(Be64(0x0102030405060708ull), Bytes(&mixed, 8));
}

}  // namespace
