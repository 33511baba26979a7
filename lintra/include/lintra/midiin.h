// MIDI input: input device objects that pass short messages to a receiver,
// over a small backend interface (the system's sequencer, or a fake in tests).
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "lintra/ioctrl.h"

#define LINTRA_VISIBLE __attribute__((visibility("default")))

namespace midi {

// A failing system call of an input device, with the system's text (at most
// 127 characters).
class LINTRA_VISIBLE CMIDIInException : public std::exception {
public:
    explicit CMIDIInException(const char* text) noexcept;
    const char* what() const noexcept override;

private:
    char m_ErrorText[128];
};

// The signalling event of a device object could not be created.
class LINTRA_VISIBLE CMIDIInEventFailure : public std::exception {
public:
    const char* what() const noexcept override;
};

// Gets what the devices receive, on their event threads.
class CMIDIReceiver {
public:
    virtual ~CMIDIReceiver() = default;
    // A short message: status | data1 << 8 | data2 << 16; timeStamp in ms
    // since the device started.
    virtual void ReceiveMsg(uint32_t msg, uint32_t timeStamp) = 0;
    // A message the system reported as invalid.
    virtual void ReceiveMsgError(uint32_t /*msg*/, uint32_t /*timeStamp*/) {}
};

// One system input device as the backend opens it. Error results are the
// backend's codes (not 0), turned into text by MidiInBackend::ErrorText.
class MidiInPort {
public:
    virtual ~MidiInPort() = default;
    virtual int Open(int deviceIndex) = 0;
    virtual int Start() = 0;
    // Stops delivery and drops what is pending.
    virtual void Reset() = 0;
    virtual int Close() = 0;
    // Waits for the next event: 1 with a short message in *msg, 2 with a
    // message the system reported as invalid, 0 when woken by Wake, a
    // negative value on failure.
    virtual int Receive(uint32_t* msg) = 0;
    // Ends a Receive in progress (or the next one) with 0; any thread.
    virtual void Wake() = 0;
};

class MidiInBackend {
public:
    virtual ~MidiInBackend() = default;
    // Input devices present now; their indexes run from 0 to count - 1.
    virtual int DeviceCount() = 0;
    // A device object's system side with its signalling means; null when
    // that cannot be made.
    virtual std::unique_ptr<MidiInPort> CreatePort() = 0;
    virtual std::string ErrorText(int code) = 0;
};

// The backend the devices use: the system's sequencer unless a test has set
// another. Null restores the system's.
void SetMidiInBackend(MidiInBackend* backend);
MidiInBackend& GetMidiInBackend();
// The system's sequencer backend: a device is a readable, subscribable port
// of another sequencer client; none without a sequencer.
MidiInBackend& SystemMidiInBackend();

// One input device: closed (0), opened (1) or receiving (2).
class CMIDIInDevice {
public:
    enum State { CLOSED = 0, OPENED = 1, RECEIVING = 2 };

    // Throws CMIDIInEventFailure when its signalling event cannot be made.
    CMIDIInDevice(CMIDIReceiver& receiver, MidiInBackend& backend);
    // Stops and closes; a failing close is logged, never thrown.
    ~CMIDIInDevice();
    CMIDIInDevice(const CMIDIInDevice&) = delete;
    CMIDIInDevice& operator=(const CMIDIInDevice&) = delete;

    // Throw CMIDIInException on failure.
    void Open(int deviceIndex);
    void Close();
    void StartRecording();
    void StopRecording();

    State GetState() const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace midi

namespace tolva_io_ctrl {

// Decodes a short message for the caller's callback.
MIDI_CONTROL_INFO DecodeShortMessage(uint32_t msg);

// The MIDI handle: the caller's callback and one device object per system
// input device.
class CMyMidiRecv : public midi::CMIDIReceiver {
public:
    CMyMidiRecv(MidiCallback callback, void* user);
    // Stops and closes every device before anything else goes.
    ~CMyMidiRecv() override;

    // Creates, opens and starts the device of that index and keeps it;
    // throws what the device throws (the device is closed again first).
    void AddDevice(int deviceIndex, midi::MidiInBackend& backend);
    size_t DeviceCount() const { return m_Devices.size(); }

    void ReceiveMsg(uint32_t msg, uint32_t timeStamp) override;

private:
    MidiCallback m_Callback;
    void* m_User;
    std::vector<std::unique_ptr<midi::CMIDIInDevice>> m_Devices;
};

}  // namespace tolva_io_ctrl
