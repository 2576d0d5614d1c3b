// A minimal socket layer: IPv4 stream sockets for the local channel between
// the installer and the download core (loopback only) and for the core's
// peer server (one local address), and UDP multicast for finding peers on
// the local network.
//
// Sockets are plain values (SocketHandle); whoever creates one closes it with
// CloseSocket. Sockets are created non-inheritable, so a started child
// process never holds the installer's listening or connected socket. Every
// call is safe from any thread for distinct sockets; the caller serialises
// use of one socket.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zdl {

using SocketHandle = intptr_t;
constexpr SocketHandle kInvalidSocket = -1;

// Starts the system's socket layer (WSAStartup on Windows, nothing natively
// beyond making broken connections report errors instead of signals). Must
// run once in the process before the first socket; further calls are cheap.
bool StartSocketLayer();

// An unbound IPv4 TCP stream socket, or kInvalidSocket.
SocketHandle CreateTcpSocket();

// Binds |s| to 127.0.0.1:|port| (0 lets the system pick). False when the
// port is taken or the call fails; LastSocketError tells which.
bool BindLoopback(SocketHandle s, uint16_t port);

bool ListenOn(SocketHandle s, int backlog);

// The local port |s| is bound to; 0 when unknown.
uint16_t LocalPort(SocketHandle s);

// True when a read (or an accept, for a listening socket) would not block,
// waiting at most |timeoutMs| for that (0: just look).
bool IsReadable(SocketHandle s, int timeoutMs = 0);

// Accepts one waiting connection; kInvalidSocket when none can be taken.
SocketHandle AcceptConnection(SocketHandle listening);

// Connects |s| to 127.0.0.1:|port|, waiting for the connection. Small
// status lines go out at once (no coalescing delay).
bool ConnectLoopback(SocketHandle s, uint16_t port);

// Limits the kernel receive buffer of |s|, which may be a socket another
// library opened (the HTTP connections), so a rate limit is not undone by a
// large receive window.
void SetReceiveBufferSize(SocketHandle s, int bytes);

// Writes all |size| bytes (looping over partial sends). False on any error,
// such as a connection the peer has closed.
bool SendAll(SocketHandle s, const void* data, size_t size);

// Makes sends and receives on |s| return at once instead of waiting.
bool SetNonBlocking(SocketHandle s);

enum class SendResult { kSent, kWouldBlock, kFailed };

// One send attempt on a non-blocking socket: kSent with |*sent| bytes taken
// (possibly fewer than |size|), kWouldBlock when the system's buffer is
// full, kFailed when the connection is broken.
SendResult SendSome(SocketHandle s, const void* data, size_t size, size_t* sent);

// One receive call of at most |capacity| bytes: the count received, 0 when
// the peer closed the connection, -1 on error. Blocks if nothing is waiting;
// callers that must not wait ask IsReadable first.
int ReceiveSome(SocketHandle s, void* buffer, size_t capacity);

// Shuts both directions down and closes; ignores kInvalidSocket.
void CloseSocket(SocketHandle s);

// The error code of the last failed socket call on this thread
// (WSAGetLastError / errno).
int LastSocketError();

// True when |error| means the address or port is already in use.
bool IsAddressInUse(int error);

// IPv4 addresses below are numbers in host byte order: 127.0.0.1 is
// 0x7f000001.

// Binds |s| to |address|:|port| (0 lets the system pick), like BindLoopback
// but on one given local address.
bool BindIpv4(SocketHandle s, uint32_t address, uint16_t port);

// The IPv4 address in a socket address structure (struct sockaddr) that a
// library handed over, such as an HTTP server's accept callback; false for
// any other address family.
bool Ipv4OfSocketAddress(const void* sockaddr, uint32_t* address);

// A UDP socket for multicast |group|:|port|, tied to the local interface
// with address |interfaceAddress|: it joins the group on that interface
// only, sends through it only, with a TTL of 1 (never routed), and hears its
// own and this machine's other sockets' datagrams (loop on), so several
// processes on one machine, each with such a socket, hear each other; on
// 127.0.0.1 nothing leaves the machine. kInvalidSocket on failure.
SocketHandle OpenMulticastSocket(uint32_t group, uint16_t port, uint32_t interfaceAddress);

// The local address the system would send from towards |address| (the
// interface its routes choose, for a public address the default route's):
// a UDP socket is connected, which sends nothing, and asked its own
// address. False when no route leads there.
bool LocalAddressToward(uint32_t address, uint32_t* local);

// Sends one datagram to |address|:|port|; false on failure.
bool SendDatagram(SocketHandle s, uint32_t address, uint16_t port, const void* data, size_t size);

// Receives one datagram: its size, with the sender's address and port, or
// -1 on error. A datagram longer than |capacity| comes out cut to
// |capacity| bytes, so a caller that accepts at most n bytes passes a
// buffer of n + 1 and refuses what fills it. Blocks if nothing is waiting;
// callers that must not wait ask IsReadable first.
int ReceiveDatagram(SocketHandle s, void* buffer, size_t capacity, uint32_t* fromAddress, uint16_t* fromPort);

} // namespace zdl
