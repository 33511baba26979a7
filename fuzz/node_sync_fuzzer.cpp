// Node-sync datagrams as the state and heartbeat ports deliver them, to a
// node that is a slave of its controller (first byte even) or the main
// server (odd). The input is cut at 0xFF into datagrams; each one's first
// byte is the command, as on the wire. The node is never started: answers
// find no peer (the sender's address is empty), and the target runs in a
// network namespace of its own.
#include <string>

#include "CoreOnFakes.h"
#include "core/NodeSync.h"
#include "core/ServerClock.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzsupport::CoreOnFakes s;
    fuzzsupport::Reader in(data, size);
    s.core->m_nMainServer = in.Byte() & 1;
    // A slave has a few videos for the master's state to match.
    for (const char* name : {"a.mp4", "b.mp4"})
        s.AddMedia(kMediaFileVideo, name);
    CServerClock clock;
    SetControllerAddress(std::string());
    CNodeSync node(s.core.get(), &clock);
    for (int k = 0; k < 16 && in.left(); ++k) {
        const std::string_view datagram = in.Until(0xFF);
        if (datagram.empty()) continue;
        node.OnReceive(static_cast<uint8_t>(datagram[0]), std::string(),
                       reinterpret_cast<const uint8_t*>(datagram.data()) + 1,
                       static_cast<uint32_t>(datagram.size() - 1));
    }
    return 0;
}
