#include "core/SocketManager.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "util/Util.h"

CSocketManager::CSocketManager() = default;

CSocketManager::~CSocketManager() { Stop(); }

bool CSocketManager::Start(uint16_t port, const char* bindAddress) {
    if (IsOpen()) return false;
    if (!SetSmartAddressing(true)) return false;
    uint32_t address = 0;
    if (!GetIPAddress(bindAddress && *bindAddress ? bindAddress : "0.0.0.0", address)) return false;
    sockaddr_in local;
    std::memset(&local, 0, sizeof local);
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(address);
    local.sin_port = htons(port);
    const int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (s < 0) return false;
    if (::bind(s, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        ::close(s);
        return false;
    }
    AttachSocket(s);
    m_streams.clear();
    if (!WatchComm()) {
        CloseComm();
        return false;
    }
    return true;
}

void CSocketManager::Stop() { StopComm(); }

void CSocketManager::OnEvent(uint32_t, void*) {}

void CSocketManager::OnDataReceived(const uint8_t* buffer, uint32_t length) {
    if (!buffer) return;
    char address[INET_ADDRSTRLEN] = {};
    int port = 0;
    if (IsSmartAddressing()) {
        if (length < kAddressHeaderSize) return;
        if (length > kAddressHeaderSize + kReceiveDataSize) length = kAddressHeaderSize + kReceiveDataSize;
        sockaddr_in from;
        std::memcpy(&from, buffer, sizeof from);
        inet_ntop(AF_INET, &from.sin_addr, address, sizeof address);
        port = ntohs(from.sin_port);
        buffer += kAddressHeaderSize;
        length -= kAddressHeaderSize;
    }
    const std::string sender = std::string(address) + ":" + std::to_string(port);
    auto it = m_streams.find(sender);
    if (it == m_streams.end()) {
        if (m_streams.size() >= kMaxPartialSenders) {
            LOGTEXT::LogDebug("socket manager: unfinished message of %s dropped", m_streams.begin()->first.c_str());
            m_streams.erase(m_streams.begin());
        }
        it = m_streams.emplace(sender, std::vector<uint8_t>()).first;
    }
    std::vector<uint8_t>& stream = it->second;
    if (static_cast<uint64_t>(stream.size()) + length >= kStreamBufferSize) {
        LOGTEXT::LogDebug("socket manager: %u bytes dropped, stream buffer full", length);
        if (stream.empty()) m_streams.erase(it);
        return;
    }
    stream.insert(stream.end(), buffer, buffer + length);

    const int socket = GetSocket();
    size_t used = 0;
    while (stream.size() - used > 2) {
        const uint8_t* head = stream.data() + used;
        const uint32_t n = static_cast<uint32_t>(head[0]) | (static_cast<uint32_t>(head[1]) << 8);
        if (n > kMaxMessageLength) {
            // Such a message could never be completed: what is buffered is
            // out of step and waiting would stop every later message.
            LOGTEXT::LogDebug("socket manager: message length %u cannot be held; %d bytes dropped", n,
                              static_cast<int>(stream.size() - used));
            used = stream.size();
            break;
        }
        if (n > stream.size() - used - 2) break;
        if (n > 0) {
            std::vector<uint8_t> block(head + 2, head + 2 + n);
            if (auto raw = m_rawCallback.load()) raw(socket, block.data(), n);
            if (auto command = m_commandCallback.load())
                command(socket, address, port, block[0], block.data() + 1, n - 1, m_user.load());
        }
        // A message of length 0 has no command: it is only taken out.
        used += 2 + n;
    }
    stream.erase(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(used));
    if (stream.empty()) m_streams.erase(it);
}
