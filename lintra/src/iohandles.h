// Registry of the live device handles of tolva_io_ctrl. A handle is a token
// (never 0, never reused), so a stale or foreign value cannot reach an object.
#pragma once

#include <memory>

namespace tolva_io_ctrl::detail {

enum class HandleKind { Serial, Network, NormalInput, Midi };

class HandleObject {
public:
    virtual ~HandleObject() = default;
};

// Adds obj and returns its handle.
void* RegisterHandle(HandleKind kind, std::shared_ptr<HandleObject> obj);
// The object of a live handle of that kind, kept alive while the caller
// holds it; null otherwise.
std::shared_ptr<HandleObject> FindHandle(void* handle, HandleKind kind);
// Removes a live handle of that kind and hands its object over; null when
// the handle is unknown or of another kind (it then stays as it was).
std::shared_ptr<HandleObject> TakeHandle(void* handle, HandleKind kind);

template <class T>
std::shared_ptr<T> Find(void* handle, HandleKind kind) {
    return std::static_pointer_cast<T>(FindHandle(handle, kind));
}
template <class T>
std::shared_ptr<T> Take(void* handle, HandleKind kind) {
    return std::static_pointer_cast<T>(TakeHandle(handle, kind));
}

}  // namespace tolva_io_ctrl::detail
