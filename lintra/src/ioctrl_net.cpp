// Network output of tolva_io_ctrl.
#include <sys/socket.h>

#include <memory>
#include <mutex>
#include <string>

#include "iohandles.h"
#include "lintra/SocketComm.h"
#include "lintra/ioctrl.h"
#include "util/Util.h"

namespace tolva_io_ctrl {

namespace {

using detail::HandleKind;

constexpr uint32_t kWriteWaitMs = 1000;

struct NetworkOutput : detail::HandleObject {
    CSocketComm socket;
    std::mutex writeMu;  // keeps the bytes of two writes apart on a stream
};

}  // namespace

void* ConnectNetworkPort(const char* host, int port, int tcp) {
    if (port < 1 || port > 65535) {
        LOGTEXT::LogError("network output %s:%d: invalid port", host ? host : "", port);
        return nullptr;
    }
    auto out = std::make_shared<NetworkOutput>();
    const std::string portText = std::to_string(port);
    if (!out->socket.ConnectTo(host, portText.c_str(), tcp ? SOCK_STREAM : SOCK_DGRAM)) {
        LOGTEXT::LogError("network output %s:%d (%s) connect failed", host ? host : "", port, tcp ? "tcp" : "udp");
        return nullptr;
    }
    return detail::RegisterHandle(HandleKind::Network, out);
}

int WriteNetworkData(void* handle, const uint8_t* data, int length) {
    auto out = detail::Find<NetworkOutput>(handle, HandleKind::Network);
    if (!out || !data) return 0;
    std::lock_guard<std::mutex> lock(out->writeMu);
    return out->socket.WriteComm(data, length, kWriteWaitMs);
}

int CloseNetworkPort(void* handle) {
    auto out = detail::Take<NetworkOutput>(handle, HandleKind::Network);
    if (!out) return 0;
    std::lock_guard<std::mutex> lock(out->writeMu);
    out->socket.CloseComm();
    return 1;
}

}  // namespace tolva_io_ctrl
