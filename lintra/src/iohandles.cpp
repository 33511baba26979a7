#include "iohandles.h"

#include <cstdint>
#include <mutex>
#include <unordered_map>

namespace tolva_io_ctrl::detail {

namespace {

struct Entry {
    HandleKind kind;
    std::shared_ptr<HandleObject> obj;
};

struct Registry {
    std::mutex mu;
    uintptr_t next = 1;
    std::unordered_map<uintptr_t, Entry> live;
};

Registry& Reg() {
    static Registry* r = new Registry;  // outlives handles closed during exit
    return *r;
}

}  // namespace

void* RegisterHandle(HandleKind kind, std::shared_ptr<HandleObject> obj) {
    if (!obj) return nullptr;
    Registry& r = Reg();
    std::lock_guard<std::mutex> lock(r.mu);
    uintptr_t id = r.next++;
    r.live.emplace(id, Entry{kind, std::move(obj)});
    return reinterpret_cast<void*>(id);
}

std::shared_ptr<HandleObject> FindHandle(void* handle, HandleKind kind) {
    if (!handle) return nullptr;
    Registry& r = Reg();
    std::lock_guard<std::mutex> lock(r.mu);
    auto it = r.live.find(reinterpret_cast<uintptr_t>(handle));
    if (it == r.live.end() || it->second.kind != kind) return nullptr;
    return it->second.obj;
}

std::shared_ptr<HandleObject> TakeHandle(void* handle, HandleKind kind) {
    if (!handle) return nullptr;
    Registry& r = Reg();
    std::lock_guard<std::mutex> lock(r.mu);
    auto it = r.live.find(reinterpret_cast<uintptr_t>(handle));
    if (it == r.live.end() || it->second.kind != kind) return nullptr;
    std::shared_ptr<HandleObject> obj = std::move(it->second.obj);
    r.live.erase(it);
    return obj;
}

}  // namespace tolva_io_ctrl::detail
