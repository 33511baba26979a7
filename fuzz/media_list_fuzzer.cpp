// The server's saved media lists read back at start-up: the media list
// (media.bak) and the playlist (playlist.dat), through the core on fakes.
// The first byte picks the file.
#include "CoreOnFakes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzsupport::CoreOnFakes s;
    fuzzsupport::Reader in(data, size);
    const bool playlist = in.Byte() & 1;
    if (playlist) {
        fuzzsupport::WriteFile(s.core->m_strPlaylistPath, in.data(), in.left());
        s.core->LoadPlaylist();
        s.core->SavePlaylist();
    } else {
        fuzzsupport::WriteFile(s.core->m_strMediaListPath, in.data(), in.left());
        s.core->LoadMediaList(s.core->m_strMediaListPath);
        s.core->SaveMediaList();
    }
    return 0;
}
