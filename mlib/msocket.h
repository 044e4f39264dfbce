// The socket seam: the Windows Sockets calls the program makes, on Winsock in the
// Windows builds and on BSD sockets in the Linux edition. TCP over IPv4 and IPv6. Every
// call reports failure by its result, as the Winsock call it mirrors does.
#pragma once

#include <cstdint>

#include "mlib/msys.h"

// A socket address of either family, as the calls below take and give it.
struct MSocketAddress {
    union {
        sockaddr any;
        sockaddr_in v4;
        sockaddr_in6 v6;
        sockaddr_storage storage;
    };
    int Family() const { return any.sa_family; }
    // The size of the family's structure, as bind, connect and accept want it.
    int Length() const { return Family() == AF_INET6 ? int{sizeof v6} : int{sizeof v4}; }
};
// An empty address (family 0, every byte 0).
MSocketAddress MEmptyAddress();
// The IPv4 address with port, both as they travel (network order).
MSocketAddress MAddressOf(const sockaddr_in& v4);

// How a socket is shut down (the values of SD_RECEIVE, SD_SEND and SD_BOTH).
enum MShutdownHow : int { M_SD_RECEIVE = 0, M_SD_SEND = 1, M_SD_BOTH = 2 };

const int M_SOCKET_ERROR = -1;
const uint32_t M_INADDR_NONE = 0xFFFFFFFFu;

// socket(AF_INET, SOCK_STREAM, protocol); M_INVALID_SOCKET on failure.
MSocket MCreateSocket(int protocol);
// The same for a family (AF_INET or AF_INET6).
MSocket MCreateSocketOf(int family, int protocol);
// IPV6_V6ONLY of an IPv6 socket not yet bound: off, it also takes IPv4 connections, whose
// peers then show as IPv4-mapped addresses. False if it cannot be set.
bool MSetIPv6Only(MSocket socket, bool only);
// SO_RCVTIMEO and SO_SNDTIMEO of milliseconds each; false if either cannot be set.
bool MSetSocketTimeouts(MSocket socket, unsigned milliseconds);
// SO_RCVTIMEO alone, of milliseconds (at least 1).
bool MSetReceiveTimeout(MSocket socket, unsigned milliseconds);
// The dotted IPv4 address as inet_addr reads it (network order), or M_INADDR_NONE.
uint32_t MInetAddr(const char* text);
// Families a lookup may be limited to.
enum MAddressFamily : int { M_FAMILY_ANY = 0, M_FAMILY_IPV4 = 4, M_FAMILY_IPV6 = 6 };
// The addresses of a host name (port 0), of the family asked for, in the order the
// system's resolver gives them, at most most of them; how many were found.
int MResolveHost(const char* name, MAddressFamily family, MSocketAddress* found, int most);
// connect, given up once the socket's send time-out (MSetSocketTimeouts) has passed;
// 0 on success, M_SOCKET_ERROR on failure.
int MConnect(MSocket socket, const MSocketAddress* address);
int MConnect(MSocket socket, const sockaddr_in* address);

// What MWaitSocket waits for: data or the peer's close, room to send, or the end of a
// connect in progress (successful or not).
enum MSocketWait : int { M_WAIT_READ, M_WAIT_WRITE, M_WAIT_CONNECT };
const unsigned M_WAIT_FOREVER = 0xFFFFFFFFu;
// Waits at most milliseconds (M_WAIT_FOREVER: no limit): 1 once the socket is ready,
// 0 when the time passed (or a signal came), M_SOCKET_ERROR on failure. A socket shut
// down by another thread is ready.
int MWaitSocket(MSocket socket, MSocketWait what, unsigned milliseconds);
// Non-blocking mode on or off; false on failure.
bool MSetNonBlocking(MSocket socket, bool nonBlocking);
// connect on a non-blocking socket: 0 connected, 1 in progress (MWaitSocket with
// M_WAIT_CONNECT, then MFinishConnect), M_SOCKET_ERROR failed.
int MStartConnect(MSocket socket, const MSocketAddress* address);
// The end of a connect in progress that MWaitSocket found ended: 0 connected,
// M_SOCKET_ERROR failed (with its error as the last one).
int MFinishConnect(MSocket socket);
// Whether the last failed send or recv of a non-blocking socket only had to wait.
bool MLastCallWouldBlock();
// send and recv with no flags: the count moved, 0 (recv: the peer closed) or
// M_SOCKET_ERROR, also when the socket's time-out passed.
int MSend(MSocket socket, const char* buffer, int length);
int MRecv(MSocket socket, char* buffer, int length);
// shutdown. As with Winsock, a listening socket is not shut down for receiving: it
// keeps accepting until it is closed.
int MShutdown(MSocket socket, MShutdownHow how);
// bind to a local address; in the Linux edition the address of connections that are
// still closing may be taken again at once, as Winsock allows.
int MBind(MSocket socket, const sockaddr_in* address);
int MBind(MSocket socket, const MSocketAddress* address);
int MListen(MSocket socket, int backlog);
// accept, the peer's address into peer; M_INVALID_SOCKET on failure. The accepted
// socket has the listening socket's receive and send time-outs: the system passes them
// on here (BSD sockets), or they are copied (Winsock).
MSocket MAccept(MSocket socket, MSocketAddress* peer);
// accept on whichever of the listening sockets, all non-blocking, has a connection
// first, waiting at most milliseconds: M_INVALID_SOCKET when none came in time (with
// MLastCallWouldBlock true), another thread took it, or on failure. The accepted
// socket is blocking and has the time-outs of its listener.
MSocket MAcceptFirst(const MSocket* listeners, int count, MSocketAddress* peer,
                     unsigned milliseconds);
// Whether a failed call (its MGetLastError) lacked system resources: descriptors,
// buffers or memory (EMFILE, ENFILE, ENOBUFS, ENOMEM; WSAEMFILE, WSAENOBUFS).
bool MIsResourceShortage(unsigned long error);
// Whether accept failed for a reason of that one connection (the peer reset it before it was
// taken, or another thread took it first): nothing is wrong with the server.
bool MIsAcceptTransient(unsigned long error);
// Whether a failed bind found its port taken by another socket (EADDRINUSE, WSAEADDRINUSE).
bool MIsAddressInUse(unsigned long error);
// Whether a failed bind was refused the port (WSAEACCES on Windows: a port inside a range
// the system keeps for itself, or one another socket holds for itself alone); never on
// Linux.
bool MIsPortRefused(unsigned long error);
// Whether a socket of this machine listens on the TCP port, on any address; false where
// it cannot be told.
bool MIsPortListened(uint16_t port);
// Whether a failed socket or bind found no IPv6 on the machine (EAFNOSUPPORT,
// EADDRNOTAVAIL and their Winsock forms).
bool MIsFamilyMissing(unsigned long error);
// The local port of a bound socket, in host order; 0 if it cannot be told.
uint16_t MGetLocalPort(MSocket socket);

// Byte order of the wire (htons, htonl and back).
uint16_t MHtons(uint16_t value);
uint32_t MHtonl(uint32_t value);
uint16_t MNtohs(uint16_t value);
uint32_t MNtohl(uint32_t value);
