// Against the system's sequencer; skipped on machines without one.
#include <gtest/gtest.h>

#include <alsa/asoundlib.h>
#include <unistd.h>

#include <mutex>
#include <vector>

#include "lintra/ioctrl.h"
#include "lintra/midiin.h"
#include "support/support.h"

namespace {

using tolva_io_ctrl::MIDI_CONTROL_INFO;

struct Seen {
    std::mutex mu;
    std::vector<MIDI_CONTROL_INFO> infos;
    static void Callback(const MIDI_CONTROL_INFO& info, void* user) {
        auto* self = static_cast<Seen*>(user);
        std::lock_guard<std::mutex> lock(self->mu);
        self->infos.push_back(info);
    }
    bool Has(int channel, int number, float value) {
        std::lock_guard<std::mutex> lock(mu);
        for (const auto& i : infos)
            if (i.channel == channel && i.number == number && i.value == value) return true;
        return false;
    }
};

TEST(MidiAlsa, ControllerFromAnotherClientReachesTheCallback) {
    if (access("/dev/snd/seq", F_OK) != 0) GTEST_SKIP() << "no /dev/snd/seq on this machine";
    midi::SetMidiInBackend(nullptr);

    snd_seq_t* src = nullptr;
    ASSERT_GE(snd_seq_open(&src, "default", SND_SEQ_OPEN_OUTPUT, 0), 0);
    snd_seq_set_client_name(src, "midi test source");
    int port = snd_seq_create_simple_port(src, "out", SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ,
                                          SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    ASSERT_GE(port, 0);

    Seen seen;
    void* h = tolva_io_ctrl::StartMidiControl(&Seen::Callback, &seen);
    ASSERT_NE(h, nullptr);

    // A system exclusive message is dropped; the controller after it arrives.
    unsigned char sysex[] = {0xF0, 0x7E, 0x01, 0xF7};
    snd_seq_event_t ev;
    snd_seq_ev_clear(&ev);
    snd_seq_ev_set_source(&ev, port);
    snd_seq_ev_set_subs(&ev);
    snd_seq_ev_set_direct(&ev);
    snd_seq_ev_set_sysex(&ev, sizeof sysex, sysex);
    EXPECT_GE(snd_seq_event_output_direct(src, &ev), 0);

    snd_seq_ev_clear(&ev);
    snd_seq_ev_set_source(&ev, port);
    snd_seq_ev_set_subs(&ev);
    snd_seq_ev_set_direct(&ev);
    snd_seq_ev_set_controller(&ev, 4, 7, 127);
    EXPECT_GE(snd_seq_event_output_direct(src, &ev), 0);

    EXPECT_TRUE(testsupport::WaitUntil([&] { return seen.Has(4, 7, 1.0f); }));
    {
        std::lock_guard<std::mutex> lock(seen.mu);
        for (const auto& i : seen.infos) EXPECT_NE(i.number, 0x7E);
    }
    EXPECT_EQ(tolva_io_ctrl::StopMidiControl(h), 1);
    snd_seq_close(src);
}

}  // namespace
