// The wire format of the disk query protocol: one request and one reply per TCP
// connection, every multi-byte field big-endian.
#pragma once

#include <cstdint>
#include <string>

const uint16_t FSW_MAGIC = 1825;          // bytes 07 21
const uint16_t FSW_PROTOCOL_VERSION = 2;  // versions up to this one are served
const uint16_t TYPE_DISK_INFO = 1;        // the request's type
// A request for the server's volumes, each measured; its path, possibly empty, narrows the
// list to the volumes mounted at or below it. A server that does not know it closes.
const uint16_t TYPE_VOLUME_LIST = 2;
// A request for the folders that grew under its path (growth_wire.h). A server without
// folder scans (GROWTH off), or of the earlier protocol, closes it without a reply.
const uint16_t TYPE_FOLDER_GROWTH = 3;
const uint16_t TYPE_REPLY = 0;           // the reply's type
const uint16_t STATUS_OK = 256;          // reply: a DiskInfo of 16 bytes follows
const uint16_t STATUS_DISK_ERROR = 512;  // reply: the path could not be measured
const uint32_t MAX_REQUEST_PATH = 1023;  // path bytes the server reads at most
const int PACKET_HEADER_SIZE = 12;
const int DISK_INFO_SIZE = 16;
// The body of a volume list: a 16-bit count, then per volume a 16-bit state, a 16-bit path
// length, the path (1 to MAX_VOLUME_PATH bytes) and the free and total bytes (64 bits each).
const int MAX_LISTED_VOLUMES = 64;
const int MAX_VOLUME_PATH = 260;
const int VOLUME_ENTRY_FIXED_SIZE = 20;  // an entry without its path
const uint32_t MAX_VOLUME_LIST_SIZE =
    2 + MAX_LISTED_VOLUMES * (VOLUME_ENTRY_FIXED_SIZE + MAX_VOLUME_PATH);

// The first 12 bytes sent in each direction.
struct PacketHeader {
    uint16_t magic;
    uint16_t version;
    uint16_t type;
    uint16_t status;  // 0 in a request
    uint32_t length;  // request: path bytes that follow; reply: 16 or 0
};
static_assert(sizeof(PacketHeader) == PACKET_HEADER_SIZE, "PacketHeader is 12 bytes on the wire");

// The body of a reply with STATUS_OK.
struct DiskInfo {
    uint64_t freeBytes;   // the volume's total free bytes
    uint64_t totalBytes;  // the volume's size
};
static_assert(sizeof(DiskInfo) == DISK_INFO_SIZE, "DiskInfo is 16 bytes on the wire");

// Big-endian numbers of `bytes` bytes, appended to out or read from in at `at` (the caller
// has checked that they are there).
void PutBigEndian(std::string* out, uint64_t value, int bytes);
uint64_t GetBigEndian(const std::string& in, size_t at, int bytes);

// In-place conversions between host and network byte order.
void HeaderToNet(PacketHeader* header);
void HeaderFromNet(PacketHeader* header);
void U64ToNet(uint64_t* value);
void U64FromNet(uint64_t* value);

// A reply header of the status and body length as it travels.
std::string ReplyHeaderBytes(uint16_t status, uint32_t length);
