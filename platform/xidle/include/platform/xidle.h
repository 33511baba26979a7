// The user's input idle time and keep-awake on an X display, through a
// connection of its own (MIT-SCREEN-SAVER for the idle time; the screen-saver
// reset and DPMS to keep the monitors on). Safe to call from several threads.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

class XIdle {
public:
    XIdle();
    ~XIdle();
    XIdle(const XIdle&) = delete;
    XIdle& operator=(const XIdle&) = delete;

    // Connects to the display (null: $DISPLAY); false, with LastError()
    // saying why, when the server cannot be reached.
    bool Open(const char* display = nullptr);
    void Close();
    bool IsOpen() const;
    // Whether the server reports input idle time.
    bool HasIdleTime() const;
    // Milliseconds since the last user input on the display; false without
    // a connection or the screen-saver extension.
    bool IdleTimeMs(uint32_t& ms);
    // Resets the screen-saver timer as input would and turns monitors that
    // DPMS has put to sleep back on. False without a connection.
    bool KeepAwake();
    // Suspends (or resumes) the X screen saver and its power-off for as
    // long as this connection stays open.
    bool SuspendScreenSaver(bool suspend);

    const std::string& LastError() const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace platform
