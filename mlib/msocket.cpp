// The parts of the socket seam that are the same on both platforms: byte order, address
// records, a socket's own port and name lookup.
#include "mlib/msocket.h"

#include <cstring>

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

MSocketAddress MEmptyAddress() {
    MSocketAddress address;
    memset(&address, 0, sizeof address);
    return address;
}

uint16_t MGetLocalPort(MSocket socket) {
    MSocketAddress local = MEmptyAddress();
    socklen_t length = sizeof local.storage;
    if (getsockname(socket, &local.any, &length) != 0) {
        return 0;
    }
    return ntohs(local.Family() == AF_INET6 ? local.v6.sin6_port : local.v4.sin_port);
}

MSocketAddress MAddressOf(const sockaddr_in& v4) {
    MSocketAddress address = MEmptyAddress();
    address.v4 = v4;
    return address;
}

int MConnect(MSocket socket, const sockaddr_in* address) {
    MSocketAddress any = MAddressOf(*address);
    return MConnect(socket, &any);
}

int MBind(MSocket socket, const sockaddr_in* address) {
    MSocketAddress any = MAddressOf(*address);
    return MBind(socket, &any);
}

// getaddrinfo on both platforms: it knows both families, and query threads may call it
// at once (gethostbyname's result lives in one buffer of the process on Linux). No
// AI_ADDRCONFIG: it would hide ::1 on a machine whose only IPv6 address is the loopback
// one.
int MResolveHost(const char* name, MAddressFamily family, MSocketAddress* found, int most) {
    struct addrinfo hints;
    memset(&hints, 0, sizeof hints);
    hints.ai_family = family == M_FAMILY_IPV4   ? AF_INET
                      : family == M_FAMILY_IPV6 ? AF_INET6
                                                : AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    struct addrinfo* list = nullptr;
    if (getaddrinfo(name, nullptr, &hints, &list) != 0) {
        return 0;
    }
    int count = 0;
    for (struct addrinfo* one = list; one != nullptr && count < most; one = one->ai_next) {
        size_t size = one->ai_family == AF_INET    ? sizeof(sockaddr_in)
                      : one->ai_family == AF_INET6 ? sizeof(sockaddr_in6)
                                                   : 0;
        if (size != 0 && one->ai_addrlen >= size) {
            found[count] = MEmptyAddress();
            memcpy(&found[count].storage, one->ai_addr, size);
            count++;
        }
    }
    freeaddrinfo(list);
    return count;
}
