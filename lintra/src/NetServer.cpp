#include "lintra/NetServer.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "NetCompletionPort.h"

namespace {

// Handles are serial numbers, never addresses: a stopped server's handle is
// never reused and cannot name a later server, and any other value is refused.
std::mutex g_registryMu;
std::unordered_map<uintptr_t, std::shared_ptr<lintra::NetCompletionPort>> g_servers;
uintptr_t g_nextHandle = 0x4E530000u;

std::shared_ptr<lintra::NetCompletionPort> Find(void* handle) {
    if (!handle) return nullptr;
    std::lock_guard<std::mutex> lk(g_registryMu);
    auto it = g_servers.find(reinterpret_cast<uintptr_t>(handle));
    return it == g_servers.end() ? nullptr : it->second;
}

}  // namespace

namespace NET_SERVER {

void* StartServer(int port) {
    auto server = std::make_shared<lintra::NetCompletionPort>();
    if (!server->Start(port)) return nullptr;
    std::lock_guard<std::mutex> lk(g_registryMu);
    uintptr_t h = ++g_nextHandle;
    g_servers.emplace(h, std::move(server));
    return reinterpret_cast<void*>(h);
}

int StopServer(void* handle) {
    std::shared_ptr<lintra::NetCompletionPort> server;
    {
        std::lock_guard<std::mutex> lk(g_registryMu);
        auto it = g_servers.find(reinterpret_cast<uintptr_t>(handle));
        if (!handle || it == g_servers.end()) return 0;
        server = std::move(it->second);
        g_servers.erase(it);
    }
    server->Stop();
    return 1;  // freed when the last concurrent call on it has returned
}

int SetDataRecvCallback(void* handle, DataRecvCallback callback, void* user) {
    auto server = Find(handle);
    if (!server) return 0;
    server->SetCallback(callback, user);
    return 1;
}

int SendData(void* handle, int clientSocket, const void* data, unsigned length, int blocking) {
    auto server = Find(handle);
    if (!server) return -1;
    return server->SendData(clientSocket, data, length, blocking);
}

int SendDataToAllClient(void* handle, const void* data, unsigned length, int blocking) {
    auto server = Find(handle);
    if (!server) return -1;
    return server->SendDataToAllClient(data, length, blocking);
}

int GetServerPort(void* handle) {
    auto server = Find(handle);
    return server ? server->Port() : -1;
}

}  // namespace NET_SERVER
