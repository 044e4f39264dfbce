// The socket seam's byte order, the same on both platforms.
#include "mlib/msocket.h"

uint16_t MHtons(uint16_t value) {
    return htons(value);
}

uint32_t MHtonl(uint32_t value) {
    return htonl(value);
}

uint16_t MNtohs(uint16_t value) {
    return ntohs(value);
}

uint32_t MNtohl(uint32_t value) {
    return ntohl(value);
}
