// Command monitor and numeric input of tolva_io_ctrl, both on the
// thread-per-client server.
#include <cmath>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>

#include "iohandles.h"
#include "lintra/ServerSession.h"
#include "lintra/ioctrl.h"
#include "platform/cnum.h"
#include "util/Util.h"

namespace tolva_io_ctrl {

namespace {

using detail::HandleKind;

// The process-wide monitor. Its callback is called under the shared lock, so
// that clearing it (exclusive) waits for calls in flight: after
// StopMonitorNetworkCmd returns the caller's user data is no longer touched.
struct Monitor {
    std::mutex startStopMu;  // one start or stop at a time
    std::shared_mutex callbackMu;
    MonitorCallback callback = nullptr;
    void* user = nullptr;
    CServerSession server;
};

Monitor& TheMonitor() {
    static Monitor* m = new Monitor;  // client threads may outlive static destruction
    return *m;
}

void PassToMonitor(const char* data, int length) {
    Monitor& m = TheMonitor();
    std::shared_lock<std::shared_mutex> lock(m.callbackMu);
    if (m.callback) m.callback(data, length, m.user);
}

int MonitorChunk(int /*socket*/, const char* data, int length, void* /*user*/) {
    PassToMonitor(data, length);
    return 0;
}

struct NormalInput : detail::HandleObject {
    CServerSession server;
    std::string name;
    float maximum = 0;
    NormalInputCallback callback = nullptr;
    void* user = nullptr;
};

int NormalInputChunk(int /*socket*/, const char* data, int length, void* user) {
    auto* in = static_cast<NormalInput*>(user);
    // Read only what arrived, whatever follows it in the buffer.
    const std::string text(data, static_cast<size_t>(length > 0 ? length : 0));
    double v = platform::AtofC(text.c_str());
    if (!std::isnan(v)) {
        // No lower bound, only the maximum.
        float value = v > static_cast<double>(in->maximum) ? in->maximum : static_cast<float>(v);
        if (in->callback) in->callback(in->name.c_str(), value, in->user);
    }
    PassToMonitor(data, length);
    return 0;
}

}  // namespace

int StartMonitorNetworkCmd(int port, MonitorCallback callback, void* user) {
    Monitor& m = TheMonitor();
    std::lock_guard<std::mutex> guard(m.startStopMu);
    m.server.StopListen();
    {
        std::unique_lock<std::shared_mutex> lock(m.callbackMu);
        m.callback = callback;
        m.user = user;
    }
    if (port < 0 || port > 65535) {
        LOGTEXT::LogError("command monitor: invalid port %d", port);
        return 0;
    }
    m.server.SetDataReceiverCallback2(&MonitorChunk, nullptr);
    if (!m.server.StartListen(static_cast<unsigned>(port))) {
        LOGTEXT::LogError("command monitor: cannot listen on port %d", port);
        return 0;
    }
    return 1;
}

int StopMonitorNetworkCmd() {
    Monitor& m = TheMonitor();
    std::lock_guard<std::mutex> guard(m.startStopMu);
    m.server.StopListen();
    // Numeric inputs pass their chunks on too; a stopped monitor hears nothing.
    std::unique_lock<std::shared_mutex> lock(m.callbackMu);
    m.callback = nullptr;
    m.user = nullptr;
    return 1;
}

unsigned GetMonitorListenPort() { return TheMonitor().server.GetListenPort(); }

void* StartNormalInput(int port, const char* name, float maximum, NormalInputCallback callback, void* user) {
    if (port < 0 || port > 65535) {
        LOGTEXT::LogError("numeric input: invalid port %d", port);
        return nullptr;
    }
    auto in = std::make_shared<NormalInput>();
    in->name = name ? name : "";
    in->maximum = maximum;
    in->callback = callback;
    in->user = user;
    in->server.SetDataReceiverCallback2(&NormalInputChunk, in.get());
    if (!in->server.StartListen(static_cast<unsigned>(port))) {
        LOGTEXT::LogError("numeric input %s: cannot listen on port %d", in->name.c_str(), port);
        return nullptr;
    }
    return detail::RegisterHandle(HandleKind::NormalInput, in);
}

int StopNormalInput(void* handle) {
    auto in = detail::Take<NormalInput>(handle, HandleKind::NormalInput);
    if (!in) return 0;
    in->server.StopListen();  // joins the client threads: no callback after this
    return 1;
}

unsigned GetNormalInputListenPort(void* handle) {
    auto in = detail::Find<NormalInput>(handle, HandleKind::NormalInput);
    return in ? in->server.GetListenPort() : 0;
}

}  // namespace tolva_io_ctrl
