#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "fake_midi.h"
#include "lintra/ioctrl.h"
#include "lintra/midiin.h"
#include "support/support.h"
#include "util/LogCapture.h"

namespace {

using tolva_io_ctrl::MIDI_CONTROL_INFO;

struct Received {
    std::mutex mu;
    std::vector<MIDI_CONTROL_INFO> infos;
    static void Callback(const MIDI_CONTROL_INFO& info, void* user) {
        auto* self = static_cast<Received*>(user);
        std::lock_guard<std::mutex> lock(self->mu);
        self->infos.push_back(info);
    }
    size_t Count() {
        std::lock_guard<std::mutex> lock(mu);
        return infos.size();
    }
};

class MidiFake : public ::testing::Test {
protected:
    void SetUp() override { midi::SetMidiInBackend(&backend); }
    void TearDown() override { midi::SetMidiInBackend(nullptr); }
    FakeMidiBackend backend;
    Received received;
};

TEST(MidiDecode, ShortMessagesGiveChannelNumberAndValue) {
    struct Case {
        uint32_t msg;
        int channel, number;
        float value;
    };
    const Case cases[] = {
        {0x7F3C92, 2, 60, 1.0f},            // note on, channel 3 on the wire
        {0x0007B0, 0, 7, 0.0f},             // controller 7 at 0
        {0x407F8F, 15, 127, 64 / 127.0f},   // note off, last channel
        {0x7F00E5, 5, 0, 1.0f},             // pitch bend: number is the low byte
        {0x0000F8, 8, 0, 0.0f},             // clock: passed on like any short message
    };
    for (const auto& c : cases) {
        MIDI_CONTROL_INFO info = tolva_io_ctrl::DecodeShortMessage(c.msg);
        EXPECT_EQ(info.channel, c.channel) << std::hex << c.msg;
        EXPECT_EQ(info.number, c.number) << std::hex << c.msg;
        EXPECT_FLOAT_EQ(info.value, c.value) << std::hex << c.msg;
    }
}

TEST(MidiExceptions, TextsAreBoundedAndFixed) {
    std::string longText(300, 'e');
    midi::CMIDIInException e(longText.c_str());
    EXPECT_EQ(std::string(e.what()), std::string(127, 'e'));
    EXPECT_STREQ(midi::CMIDIInException(nullptr).what(), "");
    EXPECT_STREQ(midi::CMIDIInEventFailure().what(), "Unable to create a signalling event for CMIDIInDevice object.");
    // Both are caught as std::exception across the library boundary.
    try {
        throw midi::CMIDIInEventFailure();
    } catch (const std::exception& ex) {
        EXPECT_NE(dynamic_cast<const midi::CMIDIInEventFailure*>(&ex), nullptr);
    }
}

TEST_F(MidiFake, NoDeviceGivesNullWithoutException) {
    backend.devices = 0;
    void* h = nullptr;
    EXPECT_NO_THROW(h = tolva_io_ctrl::StartMidiControl(&Received::Callback, &received));
    EXPECT_EQ(h, nullptr);
    EXPECT_EQ(backend.Get(&FakeMidiBackend::created), 0);
}

TEST_F(MidiFake, StartDeliversFromEveryDeviceAndStopClosesThemAll) {
    backend.devices = 3;
    void* h = tolva_io_ctrl::StartMidiControl(&Received::Callback, &received);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(backend.Get(&FakeMidiBackend::opened), 3);
    EXPECT_EQ(backend.Get(&FakeMidiBackend::started), 3);

    ASSERT_TRUE(backend.Send(0, 0x7F3C92));
    ASSERT_TRUE(backend.Send(2, 0x0A01B5));
    ASSERT_TRUE(testsupport::WaitUntil([&] { return received.Count() == 2; }));
    {
        std::lock_guard<std::mutex> lock(received.mu);
        bool sawNote = false, sawCc = false;
        for (const auto& i : received.infos) {
            if (i.channel == 2 && i.number == 60 && i.value == 1.0f) sawNote = true;
            if (i.channel == 5 && i.number == 1 && i.value == 10 / 127.0f) sawCc = true;
        }
        EXPECT_TRUE(sawNote);
        EXPECT_TRUE(sawCc);
    }
    // A message the system flags as invalid does not reach the callback.
    ASSERT_TRUE(backend.Send(1, 0x123456, 2));

    EXPECT_EQ(tolva_io_ctrl::StopMidiControl(h), 1);
    EXPECT_EQ(backend.Get(&FakeMidiBackend::resets), 3);
    EXPECT_EQ(backend.Get(&FakeMidiBackend::closed), 3);
    EXPECT_EQ(backend.Get(&FakeMidiBackend::live), 0);
    EXPECT_EQ(received.Count(), 2u);
    EXPECT_EQ(tolva_io_ctrl::StopMidiControl(h), 0);  // freed handle
}

TEST_F(MidiFake, FailingOpenClosesTheDevicesOpenedBefore) {
    backend.devices = 3;
    backend.openError[2] = 7;
    try {
        tolva_io_ctrl::StartMidiControl(&Received::Callback, &received);
        FAIL() << "no exception";
    } catch (const midi::CMIDIInException& e) {
        EXPECT_STREQ(e.what(), "fake failure 7");
    }
    EXPECT_EQ(backend.Get(&FakeMidiBackend::opened), 2);
    EXPECT_EQ(backend.Get(&FakeMidiBackend::closed), 2);
    EXPECT_EQ(backend.Get(&FakeMidiBackend::live), 0);
    EXPECT_FALSE(backend.Send(0, 0x7F3C92));
}

TEST_F(MidiFake, FailingStartStopsItsThreadAndClosesEverything) {
    backend.devices = 2;
    backend.startError[1] = 9;
    EXPECT_THROW(tolva_io_ctrl::StartMidiControl(&Received::Callback, &received), midi::CMIDIInException);
    EXPECT_EQ(backend.Get(&FakeMidiBackend::opened), 2);
    EXPECT_EQ(backend.Get(&FakeMidiBackend::closed), 2);
    EXPECT_EQ(backend.Get(&FakeMidiBackend::live), 0);
}

TEST_F(MidiFake, FailingSignalEventThrowsEventFailure) {
    backend.devices = 2;
    backend.failCreateAt = 1;
    EXPECT_THROW(tolva_io_ctrl::StartMidiControl(&Received::Callback, &received), midi::CMIDIInEventFailure);
    EXPECT_EQ(backend.Get(&FakeMidiBackend::closed), 1);
    EXPECT_EQ(backend.Get(&FakeMidiBackend::live), 0);
}

TEST_F(MidiFake, FailingCloseOnStopIsLoggedNotThrown) {
    util::LogCapture log;
    backend.devices = 1;
    backend.closeError = 4;
    void* h = tolva_io_ctrl::StartMidiControl(&Received::Callback, &received);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(tolva_io_ctrl::StopMidiControl(h), 1);
    EXPECT_TRUE(log.Contains(LOGTEXT::Level::Error, "fake failure 4"));
    EXPECT_EQ(backend.Get(&FakeMidiBackend::live), 0);
}

TEST_F(MidiFake, DeviceStatesFollowOpenStartStopClose) {
    backend.devices = 1;
    struct Sink : midi::CMIDIReceiver {
        std::atomic<int> n{0};
        void ReceiveMsg(uint32_t, uint32_t) override { ++n; }
    } sink;
    midi::CMIDIInDevice dev(sink, backend);
    EXPECT_EQ(dev.GetState(), midi::CMIDIInDevice::CLOSED);
    dev.StartRecording();  // not opened: nothing happens
    EXPECT_EQ(dev.GetState(), midi::CMIDIInDevice::CLOSED);
    dev.Open(0);
    EXPECT_EQ(dev.GetState(), midi::CMIDIInDevice::OPENED);
    dev.StartRecording();
    EXPECT_EQ(dev.GetState(), midi::CMIDIInDevice::RECEIVING);
    ASSERT_TRUE(backend.Send(0, 0x90));
    EXPECT_TRUE(testsupport::WaitUntil([&] { return sink.n == 1; }));
    dev.StopRecording();
    EXPECT_EQ(dev.GetState(), midi::CMIDIInDevice::OPENED);
    dev.Open(0);  // an open device is closed first
    EXPECT_EQ(backend.Get(&FakeMidiBackend::closed), 1);
    dev.Close();
    EXPECT_EQ(dev.GetState(), midi::CMIDIInDevice::CLOSED);
    EXPECT_EQ(backend.Get(&FakeMidiBackend::closed), 2);
}

TEST_F(MidiFake, MidiHandleIsRefusedByOtherCloseFunctions) {
    backend.devices = 1;
    void* h = tolva_io_ctrl::StartMidiControl(&Received::Callback, &received);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(tolva_io_ctrl::CloseNetworkPort(h), 0);
    EXPECT_EQ(tolva_io_ctrl::CloseSerialPort(h), 0);
    EXPECT_EQ(tolva_io_ctrl::StopNormalInput(h), 0);
    ASSERT_TRUE(backend.Send(0, 0x7F3C92));  // still running
    EXPECT_TRUE(testsupport::WaitUntil([&] { return received.Count() == 1; }));
    EXPECT_EQ(tolva_io_ctrl::StopMidiControl(h), 1);
    EXPECT_EQ(tolva_io_ctrl::StopMidiControl(nullptr), 0);
}

bool HaveSequencer() { return access("/dev/snd/seq", F_OK) == 0; }

TEST(MidiSystem, NoSequencerMeansNoDeviceAndNullHandle) {
    if (HaveSequencer()) GTEST_SKIP() << "this machine has a MIDI sequencer";
    midi::SetMidiInBackend(nullptr);
    EXPECT_EQ(midi::SystemMidiInBackend().DeviceCount(), 0);
    Received received;
    void* h = nullptr;
    EXPECT_NO_THROW(h = tolva_io_ctrl::StartMidiControl(&Received::Callback, &received));
    EXPECT_EQ(h, nullptr);
}

}  // namespace
