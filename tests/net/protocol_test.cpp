// The wire records of the disk query protocol: byte order of the header and of the
// 64-bit sizes, checked against bytes written out by hand.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "net/growth_wire.h"
#include "net/protocol.h"
#include "net/volume_list.h"
#include "tests/support/fake_growth.h"
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

// A volume list travels and reads back whole; what breaks a cap or is cut is no list.
TEST(VolumeListWire, RoundTripAndCaps) {
    std::vector<VolumeEntry> entries = {{"/表", VOLUME_MEASURED, 5368709120ull, 6442450944ull},
                                        {"/mnt/nfs", VOLUME_LATE, 0, 0}};
    std::string body = EncodeVolumeList(entries);
    EXPECT_EQ(Be16(2) + Be16(0) + Be16(3) + "/\x95\x5C" + Be64(5368709120ull) +
                  Be64(6442450944ull) + Be16(2) + Be16(8) + "/mnt/nfs" + Be64(0) + Be64(0),
              body);
    std::vector<VolumeEntry> read;
    ASSERT_TRUE(DecodeVolumeList(body, &read));
    ASSERT_EQ(2u, read.size());
    EXPECT_EQ("/表", read[0].path);
    EXPECT_EQ(6442450944ull, read[0].totalBytes);
    EXPECT_EQ(VOLUME_LATE, read[1].state);

    auto one = [](uint16_t state, const std::string& path, uint64_t freeBytes, uint64_t total) {
        return Be16(state) + Be16(static_cast<uint16_t>(path.size())) + path + Be64(freeBytes) +
               Be64(total);
    };
    std::string many = Be16(MAX_LISTED_VOLUMES);
    for (int i = 0; i < MAX_LISTED_VOLUMES; i++) {
        many += one(0, std::string(MAX_VOLUME_PATH, 'a'), 1, 2);
    }
    EXPECT_TRUE(DecodeVolumeList(many, &read));
    EXPECT_EQ(MAX_VOLUME_LIST_SIZE, many.size());
    const std::string broken[] = {
        "",
        Be16(MAX_LISTED_VOLUMES + 1),
        Be16(1) + one(0, "", 1, 2),
        Be16(1) + one(0, std::string(MAX_VOLUME_PATH + 1, 'a'), 1, 2),
        Be16(1) + one(3, "/", 1, 2),
        Be16(1) + one(0, "/", 1, 2).substr(1),
        Be16(1) + one(0, "/", 1, 2) + "x",
    };
    for (const std::string& body : broken) {
        EXPECT_FALSE(DecodeVolumeList(body, &read)) << body.size();
    }
    // Sizes that cannot be make the volume unmeasured, not the list unreadable.
    ASSERT_TRUE(DecodeVolumeList(Be16(1) + one(0, "/", 3, 2), &read));
    EXPECT_EQ(VOLUME_NOT_MEASURED, read[0].state);
}

// A report travels whole with negative growth and Shift-JIS paths; only what lies under the
// asked path goes, in order and within the caps; broken bodies are refused.
TEST(GrowthWire, RoundTripCapsAndBrokenBodies) {
    GrowthReport sample = SampleGrowthReport(1800000000);
    sample.folders.push_back({"/srv/表", 5, -7, -(int64_t{1} << 40)});
    sample.folders.push_back({"その他 (読めない領域など)", 9, 0, -1});  // no path: the source's
    sample.folders.push_back({"C:\\srv\\x", 9, 0, 1});
    GrowthReport under = GrowthReportUnder(sample, "/srv/");
    ASSERT_EQ(4u, under.folders.size());
    EXPECT_EQ("/srv/video/2026", under.folders[0].path);  // the most grown first
    EXPECT_EQ("その他 (読めない領域など)", under.folders[2].path);
    EXPECT_EQ("/srv/表", under.folders[3].path);
    std::string body = EncodeGrowthReport(under);
    EXPECT_NE(std::string::npos, body.find(Be16(7) + "/srv/\x95\x5C" + Be64(5)));
    GrowthReport read;
    ASSERT_TRUE(DecodeGrowthReport(body, &read));
    EXPECT_EQ(EncodeGrowthReport(read), body);
    EXPECT_EQ(-(int64_t{1} << 40), read.folders[3].growthWeek);
    EXPECT_TRUE(read.weekBefore.partial);
    EXPECT_EQ(1800000000 - 3600, read.files[0].changeTime);

    GrowthReport many;
    for (int i = 0; i < MAX_GROWTH_FOLDERS + 5; i++) {
        many.folders.push_back({"/" + std::string(MAX_GROWTH_PATH - 1, 'a'), 1, 0, i});
        many.files.push_back({"/" + std::string(MAX_GROWTH_PATH - 1, 'b'), 2, 0});
    }
    many.folders.push_back({"/" + std::string(MAX_GROWTH_PATH, 'c'), 1, 0, 1 << 30});
    GrowthReport capped = GrowthReportUnder(many, "/");
    ASSERT_EQ(size_t{MAX_GROWTH_FOLDERS}, capped.folders.size());
    EXPECT_EQ(MAX_GROWTH_FOLDERS + 4, capped.folders[0].growthWeek);  // the too long one left out
    EXPECT_EQ(size_t{MAX_GROWTH_FILES}, capped.files.size());
    std::string full = EncodeGrowthReport(capped);
    EXPECT_EQ(MAX_GROWTH_REPLY_SIZE, full.size());
    EXPECT_TRUE(DecodeGrowthReport(full, &read));

    std::string scans = std::string(3 * GROWTH_SCAN_SIZE, '\0');
    std::string folder = Be16(2) + "/a" + Be64(1) + Be64(2) + Be64(3);
    const std::string broken[] = {
        "",
        scans.substr(1) + Be16(0) + Be16(0),
        scans + Be16(0),
        std::string(8, '\0') + "\x02" + scans.substr(9) + Be16(0) + Be16(0),
        scans + Be16(MAX_GROWTH_FOLDERS + 1) + Be16(0),
        scans + Be16(1) + Be16(0) + Be64(1) + Be64(2) + Be64(3) + Be16(0),
        scans + Be16(1) + folder.substr(0, folder.size() - 1) + Be16(0),
        scans + Be16(0) + Be16(MAX_GROWTH_FILES + 1),
        scans + Be16(1) + folder + Be16(0) + "x",
    };
    for (const std::string& bad : broken) {
        EXPECT_FALSE(DecodeGrowthReport(bad, &read)) << bad.size();
    }
    EXPECT_TRUE(DecodeGrowthReport(scans + Be16(1) + folder + Be16(0), &read));
}

// A path that does not fit a row's field whole is refused, not cut into another's key.
TEST(UsableVolumes, APathThatDoesNotFitItsFieldWholeIsRefused) {
    std::vector<RefusedVolume> refused;
    std::vector<VolumeEntry> usable = UsableVolumes(
        {{std::string(260, 'a'), 0, 1, 2}, {std::string(261, 'a'), 0, 1, 2}}, 261, &refused);
    ASSERT_EQ(1u, usable.size());
    ASSERT_EQ(1u, refused.size());
    EXPECT_EQ(std::string("長すぎる") + std::string(261, 'a'), refused[0].reason + refused[0].path);
}

}  // namespace
