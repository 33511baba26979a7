// Binary commands as the command port delivers them: a sequence of 384-byte
// heads, each followed by the body its length announces (cut to what the
// input holds), dispatched one after the other to a fresh core on fakes in a
// scratch base folder. Sequences reach the multi-command paths (reset world,
// save, reload; uploads in parts).
#include <cstring>
#include <vector>

#include "CoreOnFakes.h"
#include "core/CommandEntry.h"

namespace {
constexpr int kMaxCommands = 8;
// Bodies past this size add nothing the fuzzer can find but time.
constexpr uint32_t kMaxFuzzBody = 1u << 20;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzsupport::CoreOnFakes s;
    fuzzsupport::Reader in(data, size);
    for (int k = 0; k < kMaxCommands && in.left(); ++k) {
        tagNETHEAD head{};
        const std::string_view h = in.Take(sizeof head);
        std::memcpy(&head, h.data(), h.size());
        const uint32_t length = head.bodyLength > kMaxFuzzBody ? kMaxFuzzBody : head.bodyLength;
        const std::string_view b = in.Take(length);
        // The server hands the dispatcher a head whose length matches the
        // body it received.
        head.bodyLength = static_cast<uint32_t>(b.size());
        const std::vector<uint8_t> body(b.begin(), b.end());
        tagNETHEAD reply{};
        std::vector<uint8_t> replyBody;
        ExecuteProtocolCommand(*s.core, head, body.empty() ? nullptr : body.data(),
                               static_cast<unsigned>(body.size()), nullptr, reply, replyBody);
        s.KeepMediaFolderInside();
    }
    return 0;
}
