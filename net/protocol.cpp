// Byte order of the disk query protocol's records.
#include "net/protocol.h"

#include <cstring>

#include "mlib/msocket.h"

void HeaderToNet(PacketHeader* header) {
    header->magic = MHtons(header->magic);
    header->version = MHtons(header->version);
    header->type = MHtons(header->type);
    header->status = MHtons(header->status);
    header->length = MHtonl(header->length);
}

void HeaderFromNet(PacketHeader* header) {
    header->magic = MNtohs(header->magic);
    header->version = MNtohs(header->version);
    header->type = MNtohs(header->type);
    header->status = MNtohs(header->status);
    header->length = MNtohl(header->length);
}

namespace {

// A host whose htons leaves a value unchanged already keeps network order.
bool HostIsBigEndian() {
    return MHtons(4847) == 4847;
}

// Each 32-bit half to network order, and the halves exchanged.
uint64_t SwapHalves(uint64_t value) {
    uint32_t high = static_cast<uint32_t>(value >> 32);
    uint32_t low = static_cast<uint32_t>(value);
    return (uint64_t{MHtonl(low)} << 32) | MHtonl(high);
}

}  // namespace

void U64ToNet(uint64_t* value) {
    if (!HostIsBigEndian()) {
        *value = SwapHalves(*value);
    }
}

void U64FromNet(uint64_t* value) {
    if (!HostIsBigEndian()) {
        *value = SwapHalves(*value);
    }
}

std::string ReplyHeaderBytes(uint16_t status, uint32_t length) {
    PacketHeader header = {FSW_MAGIC, FSW_PROTOCOL_VERSION, TYPE_REPLY, status, length};
    HeaderToNet(&header);
    char bytes[PACKET_HEADER_SIZE];
    memcpy(bytes, &header, sizeof bytes);
    return std::string(bytes, sizeof bytes);
}

void PutBigEndian(std::string* out, uint64_t value, int bytes) {
    for (int shift = (bytes - 1) * 8; shift >= 0; shift -= 8) {
        out->push_back(static_cast<char>((value >> shift) & 0xFF));
    }
}

uint64_t GetBigEndian(const std::string& in, size_t at, int bytes) {
    uint64_t value = 0;
    for (int i = 0; i < bytes; i++) {
        value = (value << 8) | static_cast<unsigned char>(in[at + static_cast<size_t>(i)]);
    }
    return value;
}
