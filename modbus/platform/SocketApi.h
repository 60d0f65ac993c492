#pragma once
// The platform's IPv4 stream sockets, reduced to what the TCP transport needs. socket_posix.cpp
// implements it over BSD sockets, socket_win32.cpp over Winsock 2; the build picks one.

#include <cstdint>
#include <string>

namespace KRSocketApi {

using THandle = intptr_t;
constexpr THandle kInvalid = -1;

// AF, type and protocol use the common numbering: AF 2 is IPv4, type 1 a stream.
THandle Create(int32_t AF, int32_t AType, int32_t AProto);
bool SetNonBlocking(THandle ASocket);
// 0 when connected at once; -1 otherwise: still in progress when ConnectInProgress(LastError()),
// else refused at once (an unreachable network, no permission, a bad address).
int32_t Connect(THandle ASocket, const std::string& AAddr, uint16_t APort);
// True for the error code of a non-blocking connect that goes on in the background.
bool ConnectInProgress(int32_t AError);
// Why a connect failed, from its error code: refused by the host, or no route to it.
enum TConnectFailure : int32_t { cfNone = 0, cfRefused, cfUnreachable, cfTimedOut, cfOther };
TConnectFailure ConnectFailureOf(int32_t AError);
// Replaces Connect, so that a test can make it fail the way a connect to another network does,
// without sending anything beyond loopback; null restores the platform's own.
using TConnectFunction = int32_t (*)(THandle ASocket, const std::string& AAddr, uint16_t APort);
void SetConnectFunction(TConnectFunction AConnect);
// The outcome of a connect that was in progress: 0 connected, else the error code.
int32_t PendingError(THandle ASocket);
// Waits for the conditions asked for; true if any holds before ATimeoutMs (negative: no limit).
// A refused connect shows as writable: check PendingError.
bool Select(THandle ASocket, bool* AReadReady, bool* AWriteReady, bool* AExcept,
            int32_t ATimeoutMs);
int32_t Send(THandle ASocket, const void* ABuf, int32_t ASize, int32_t AFlags);
// Bytes received, 0 when the peer closed, -1 on error.
int32_t Recv(THandle ASocket, void* ABuf, int32_t ASize, int32_t AFlags);
// Result of a one-byte receive that leaves the byte in place and never waits.
int32_t PeekOne(THandle ASocket);
// True for the error code of a send or receive that would have had to wait.
bool WouldBlock(int32_t AError);
// Datagram variants: to and from an IPv4 address in dotted decimal.
int32_t SendTo(THandle ASocket, const std::string& AAddr, uint16_t APort, const void* ABuf,
               int32_t ASize, int32_t AFlags);
int32_t RecvFrom(THandle ASocket, void* ABuf, int32_t ASize, int32_t AFlags, std::string& AAddr,
                 uint16_t& APort);
// As PeekOne, with the sender's address.
int32_t PeekOneFrom(THandle ASocket, std::string& AAddr, uint16_t& APort);
void Shutdown(THandle ASocket);
void Close(THandle ASocket);
bool LocalAddress(THandle ASocket, std::string& AAddr, uint16_t& APort);
int32_t LastError();

}  // namespace KRSocketApi
