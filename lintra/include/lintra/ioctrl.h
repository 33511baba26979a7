// Show-control outputs and inputs of the console: serial and network outputs,
// the command monitor, numeric input and MIDI input.
//
// Every device is an opaque handle that only the matching close function
// takes: a handle closed already, or handed to the close function of another
// kind, is refused with 0 and left alone. Handles are never 0 and never
// reused within a process.
#pragma once

#include <cstdint>

namespace tolva_io_ctrl {

struct MIDI_CONTROL_INFO {
    int channel;   // status & 0x0F
    int number;    // first data byte
    float value;   // second data byte / 127
};

using MonitorCallback = void (*)(const char* data, int length, void* user);
using NormalInputCallback = void (*)(const char* name, float value, void* user);
using MidiCallback = void (*)(const MIDI_CONTROL_INFO& info, void* user);

// Serial output. port is the COM number (1 is the first port; see
// platform::SerialDevicePath for the device it names). parity 0 none, 1 odd,
// 2 even, 3 mark, 4 space; stopBits 0 one, 1 one and a half, 2 two.
// Null when the port is missing, stays held by another opener for about a
// second, or cannot take the settings.
void* OpenSerialPort(int port, int baud, int parity, int byteSize, int stopBits);
// Non-zero when every byte was written; 0 for an unknown handle, bad
// arguments or a failed write.
int WriteSerialPortData(void* handle, const uint8_t* data, int length);
// 1 when the handle was closed; 0 for null or an unknown handle.
int CloseSerialPort(void* handle);

// Network output: TCP when tcp != 0, UDP otherwise. Null on failure.
void* ConnectNetworkPort(const char* host, int port, int tcp);
// Bytes sent; 0 when the socket took nothing within 1 second, for an unknown
// handle or null data; -1 on a send error.
int WriteNetworkData(void* handle, const uint8_t* data, int length);
// 1 after closing; 0 for null or a handle that is no network output.
int CloseNetworkPort(void* handle);

// Command monitor: one per process. Every chunk a client sends (at most
// 4,096 bytes, not framed) goes to callback on that client's thread.
// Stops a running monitor first; 1 when listening started. Callbacks must
// not stop the monitor or an input from inside.
int StartMonitorNetworkCmd(int port, MonitorCallback callback, void* user);
// Stops listening and closes the clients; 1. When it returns no monitor
// callback runs or will run (numeric inputs stop passing chunks on too).
int StopMonitorNetworkCmd();
// The port the monitor listens on (the one chosen for port 0); 0 when stopped.
unsigned GetMonitorListenPort();

// Numeric input: every chunk a client sends is read as a number (C locale),
// capped at maximum, and reported with name; text that is no number
// ("nan") reports nothing. The raw chunk also goes to the command
// monitor's callback while one is set. Null when listening fails.
void* StartNormalInput(int port, const char* name, float maximum, NormalInputCallback callback, void* user);
// 1 after stopping and freeing; 0 for null or an unknown handle.
int StopNormalInput(void* handle);
// The port a numeric input listens on (the one chosen for port 0); 0 for an
// unknown handle.
unsigned GetNormalInputListenPort(void* handle);

// MIDI input from every input device of the system. Null, without an
// exception, when there is none (also when the system has no MIDI
// sequencer). A device that fails to open or start throws
// midi::CMIDIInException or midi::CMIDIInEventFailure (lintra/midiin.h);
// the devices opened before it are closed first.
void* StartMidiControl(MidiCallback callback, void* user);
// 1 after stopping every device; 0 for null or a handle that is no MIDI input.
int StopMidiControl(void* handle);

}  // namespace tolva_io_ctrl
