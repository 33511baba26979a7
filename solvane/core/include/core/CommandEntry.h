// The three ways commands reach the server (binary heads on the command port
// and by multicast, text lines on the user port, text lines on the serial
// central-control port), the text-command interpreter, and the one lock that
// serialises them all.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "lintra/netdef.h"

class CMediaManager;

// Taken by every entry before it builds or dispatches a command, released
// before the answer is sent. Always before the core's own lock.
std::recursive_mutex& GlobalCommandLock();

// No answer is sent for a command delivered with this socket (multicast).
inline constexpr int kNoReplySocket = lintra::kNoReplySocket;

// Handles one binary command: 901 goes straight to the time handler, every
// other code to the dispatcher; then the reply head and its body go back on
// the socket unless it is kNoReplySocket. Callback of the command server.
void OnProtocolData(int socket, const tagNETHEAD& head, const void* data, unsigned length, const void* user);
// Callback of the multicast receiver: executed, never answered.
void OnMulticastData(int source, const tagNETHEAD& head, const void* data, unsigned length, const void* sender);
// OnProtocolData with the core given.
void ServeProtocolCommand(CMediaManager& core, int socket, const tagNETHEAD& head, const void* data,
                          unsigned length, void* user);
// The command and its reply without the sending (tests, other entries).
int32_t ExecuteProtocolCommand(CMediaManager& core, const tagNETHEAD& head, const void* data, unsigned length,
                               void* user, tagNETHEAD& reply, std::vector<uint8_t>& replyBody);

// The text-command interpreter. Trailing CR, LF and NUL are removed first.
// Returns -1 for an unknown keyword, 1 for a command handled locally or
// refused, otherwise the dispatcher's result. head receives the command.
int ParseUserCommand(CMediaManager& core, tagNETHEAD& head, const char* line, tagNETHEAD& reply,
                     std::vector<uint8_t>& replyBody);
int ParseUserCommand(tagNETHEAD& head, const char* line, tagNETHEAD& reply, std::vector<uint8_t>& replyBody);

// The bytes a text command is answered with: "invalid", "ok", "fail", the
// reply body (520) or the two doubles of the reply (516). The whole exchange
// runs under the global command lock; logText names the entry in the log.
std::string AnswerUserCommand(CMediaManager& core, const std::string& line, bool serial);

// Text callback of the user port server; the chunk carries its length.
int OnUserCommand(int socket, const char* data, int length);
// Receive callback of the central-control serial port.
void OnSerialCommand(const char* data, size_t length);

// Central control on the serial port: 1 open (thread started), 0 not.
int StartCentralControl(int port, int baud, int dataBits, int stopBits, int parity);
// False when the serial thread could not be joined (it may still call the core).
bool StopCentralControl();
int IsCentralControlOpen();
