// MIDI input devices, the receiver of the MIDI handle and its exports.
#include "lintra/midiin.h"

#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>

#include "iohandles.h"
#include "platform/thread.h"
#include "platform/tick.h"
#include "util/Util.h"

namespace midi {

CMIDIInException::CMIDIInException(const char* text) noexcept {
    std::memset(m_ErrorText, 0, sizeof m_ErrorText);
    if (text) std::strncpy(m_ErrorText, text, sizeof m_ErrorText - 1);
}

const char* CMIDIInException::what() const noexcept { return m_ErrorText; }

const char* CMIDIInEventFailure::what() const noexcept {
    return "Unable to create a signalling event for CMIDIInDevice object.";
}

namespace {

std::atomic<MidiInBackend*> g_backend{nullptr};

// A device thread that does not end in time is left behind; it holds only
// the shared part below, never the device object.
constexpr uint32_t kThreadJoinMs = 1000;

}  // namespace

void SetMidiInBackend(MidiInBackend* backend) { g_backend.store(backend); }

MidiInBackend& GetMidiInBackend() {
    MidiInBackend* b = g_backend.load();
    return b ? *b : SystemMidiInBackend();
}

// What the event thread shares with its device object.
struct DeviceShared {
    std::unique_ptr<MidiInPort> port;
    std::atomic<int> state{CMIDIInDevice::CLOSED};
    CMIDIReceiver* receiver = nullptr;
    uint32_t startTick = 0;
};

struct CMIDIInDevice::Impl {
    MidiInBackend* backend = nullptr;
    std::shared_ptr<DeviceShared> shared = std::make_shared<DeviceShared>();
    platform::StoppableThread thread;

    [[noreturn]] void Throw(int code) {
        const std::string text = backend->ErrorText(code);
        throw CMIDIInException(text.c_str());
    }
};

CMIDIInDevice::CMIDIInDevice(CMIDIReceiver& receiver, MidiInBackend& backend) : impl_(std::make_unique<Impl>()) {
    impl_->backend = &backend;
    impl_->shared->receiver = &receiver;
    impl_->shared->port = backend.CreatePort();
    if (!impl_->shared->port) throw CMIDIInEventFailure();
}

CMIDIInDevice::~CMIDIInDevice() {
    try {
        Close();
    } catch (const std::exception& e) {
        LOGTEXT::LogError("MIDI input device close failed: %s", e.what());
    }
}

CMIDIInDevice::State CMIDIInDevice::GetState() const {
    return static_cast<State>(impl_->shared->state.load());
}

void CMIDIInDevice::Open(int deviceIndex) {
    if (GetState() != CLOSED) Close();
    int r = impl_->shared->port->Open(deviceIndex);
    if (r != 0) impl_->Throw(r);
    impl_->shared->state.store(OPENED);
}

void CMIDIInDevice::Close() {
    if (GetState() == RECEIVING) StopRecording();
    if (GetState() == OPENED) {
        int r = impl_->shared->port->Close();
        if (r != 0) impl_->Throw(r);
        impl_->shared->state.store(CLOSED);
    }
}

void CMIDIInDevice::StartRecording() {
    if (GetState() != OPENED) return;
    std::shared_ptr<DeviceShared> shared = impl_->shared;
    shared->state.store(RECEIVING);
    shared->startTick = platform::GetTickCount();
    bool started = impl_->thread.Start(
        [shared](platform::StoppableThread& self) {
            while (!self.StopRequested() && shared->state.load() == RECEIVING) {
                uint32_t msg = 0;
                int r = shared->port->Receive(&msg);
                if (shared->state.load() != RECEIVING) break;
                uint32_t stamp = platform::TickDiff(platform::GetTickCount(), shared->startTick);
                if (r == 1) {
                    shared->receiver->ReceiveMsg(msg, stamp);
                } else if (r == 2) {
                    shared->receiver->ReceiveMsgError(msg, stamp);
                } else if (r < 0) {
                    self.SleepFor(100);  // the system side failed; do not spin
                }
            }
        },
        "midi-in");
    if (!started) {
        shared->state.store(OPENED);
        throw CMIDIInException("Unable to start the MIDI input thread.");
    }
    int r = shared->port->Start();
    if (r != 0) {
        shared->state.store(OPENED);
        shared->port->Wake();
        impl_->thread.Stop(kThreadJoinMs, "MIDI input thread did not end in time");
        impl_->Throw(r);
    }
}

void CMIDIInDevice::StopRecording() {
    if (GetState() != RECEIVING) return;
    impl_->shared->state.store(OPENED);
    impl_->shared->port->Wake();
    if (!impl_->thread.Stop(kThreadJoinMs, "MIDI input thread did not end in time")) {
        // The thread still owns the port; leave it the port and give this
        // device a fresh one for a later open.
        auto fresh = std::make_shared<DeviceShared>();
        fresh->receiver = impl_->shared->receiver;
        fresh->port = impl_->backend->CreatePort();
        if (!fresh->port) {
            impl_->shared->state.store(CLOSED);  // never handed out again
            throw CMIDIInEventFailure();
        }
        impl_->shared = fresh;  // CLOSED: the stuck port is not closed under its thread
        return;
    }
    impl_->shared->port->Reset();
}

}  // namespace midi

namespace tolva_io_ctrl {

MIDI_CONTROL_INFO DecodeShortMessage(uint32_t msg) {
    MIDI_CONTROL_INFO info;
    info.channel = static_cast<int>(msg & 0x0Fu);
    info.number = static_cast<int>((msg >> 8) & 0xFFu);
    info.value = static_cast<float>((msg >> 16) & 0xFFu) / 127.0f;
    return info;
}

CMyMidiRecv::CMyMidiRecv(MidiCallback callback, void* user) : m_Callback(callback), m_User(user) {}

CMyMidiRecv::~CMyMidiRecv() {
    // Devices first: their threads call back into this object.
    m_Devices.clear();
}

void CMyMidiRecv::AddDevice(int deviceIndex, midi::MidiInBackend& backend) {
    auto dev = std::make_unique<midi::CMIDIInDevice>(*this, backend);
    dev->Open(deviceIndex);
    dev->StartRecording();
    m_Devices.push_back(std::move(dev));
}

void CMyMidiRecv::ReceiveMsg(uint32_t msg, uint32_t /*timeStamp*/) {
    if (!m_Callback) return;
    const MIDI_CONTROL_INFO info = DecodeShortMessage(msg);
    m_Callback(info, m_User);
}

namespace {

struct MidiHandle : detail::HandleObject {
    std::unique_ptr<CMyMidiRecv> recv;
};

}  // namespace

void* StartMidiControl(MidiCallback callback, void* user) {
    midi::MidiInBackend& backend = midi::GetMidiInBackend();
    const int count = backend.DeviceCount();
    if (count <= 0) return nullptr;
    auto handle = std::make_shared<MidiHandle>();
    handle->recv = std::make_unique<CMyMidiRecv>(callback, user);
    // A failing device throws out of here; unwinding the receiver stops and
    // closes the devices opened before it.
    for (int i = 0; i < count; ++i) handle->recv->AddDevice(i, backend);
    return detail::RegisterHandle(detail::HandleKind::Midi, handle);
}

int StopMidiControl(void* handle) {
    auto h = detail::Take<MidiHandle>(handle, detail::HandleKind::Midi);
    if (!h) return 0;
    h->recv.reset();
    return 1;
}

}  // namespace tolva_io_ctrl
