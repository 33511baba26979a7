#include "lintra/BlendClintNetApi.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "lintra/ClientSession.h"

namespace BLEND_CLINT_NETAPI {
namespace {

// Live handles. A handle is a number that is never handed out twice, so a
// stale or foreign value is recognised instead of being dereferenced.
struct Registry {
    std::mutex mutex;
    std::unordered_map<uintptr_t, std::shared_ptr<CClientSession>> live;
    uintptr_t next = 0x10000;
};

Registry& Handles() {
    static Registry registry;
    return registry;
}

std::shared_ptr<CClientSession> Find(HANDLE handle) {
    Registry& r = Handles();
    std::lock_guard<std::mutex> lk(r.mutex);
    auto it = r.live.find(reinterpret_cast<uintptr_t>(handle));
    return it == r.live.end() ? nullptr : it->second;
}

}  // namespace

HANDLE ConnectServer(const char* ip, unsigned port) {
    auto session = std::make_shared<CClientSession>();
    if (!session->ConnectServer(ip, port, 2)) return nullptr;
    Registry& r = Handles();
    std::lock_guard<std::mutex> lk(r.mutex);
    const uintptr_t id = r.next++;
    r.live.emplace(id, std::move(session));
    return reinterpret_cast<HANDLE>(id);
}

int SendData(HANDLE handle, const char* data, int length) {
    if (!handle) return -3;
    auto session = Find(handle);
    if (!session) return -2;
    return session->SendData(data, length);
}

int RecvData(HANDLE handle, char* buffer, int length) {
    if (!handle) return -3;
    auto session = Find(handle);
    if (!session) return -2;
    return session->RecvData(buffer, length);
}

int DisconnectServer(HANDLE handle) {
    if (!handle) return -3;
    std::shared_ptr<CClientSession> session;
    {
        Registry& r = Handles();
        std::lock_guard<std::mutex> lk(r.mutex);
        auto it = r.live.find(reinterpret_cast<uintptr_t>(handle));
        if (it == r.live.end()) return -2;
        session = std::move(it->second);
        r.live.erase(it);
    }
    session->Disconnect();
    return 0;
}

}  // namespace BLEND_CLINT_NETAPI
