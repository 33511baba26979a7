// The two channel files: the layout file (default.cfg and its named copies)
// and the channel data file. The first byte picks the format. A file that
// loads must save and load again.
#include "FuzzSupport.h"
#include "channel/ChannelLayout.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzsupport::Reader in(data, size);
    const bool layoutFile = !(in.Byte() & 1);
    const std::string dir = fuzzsupport::ScratchDir();
    const std::string path = dir + "/channel.in";
    const std::string again = dir + "/channel.out";
    fuzzsupport::WriteFile(path, in.data(), in.left());
    if (layoutFile) {
        CChannelLayout layout;
        if (!layout.LoadCodFile(path)) return 0;
        if (!layout.SaveCodFile(again)) __builtin_trap();
        CChannelLayout reread;
        if (!reread.LoadCodFile(again)) __builtin_trap();
    } else {
        ChannelPtrList list;
        if (!list.LoadChannelData(path)) {
            if (!list.empty()) __builtin_trap();  // all or nothing
            return 0;
        }
        if (!list.SaveChannelData(again)) __builtin_trap();
        ChannelPtrList reread;
        if (!reread.LoadChannelData(again) || reread.size() != list.size()) __builtin_trap();
    }
    return 0;
}
