// Shows each display's number on it while an operator identifies the
// displays: one frameless top-level window per display, closed again after a
// few seconds. While an object lives it answers IdentifyDisplays.
#pragma once

#include <QObject>

#include <cstdint>
#include <memory>
#include <vector>

class QWindow;

class IdentifyWindows : public QObject {
public:
    // How long the numbers stay on the displays.
    static constexpr int kShowMs = 3000;

    // Installs the presenter; call on the application object's thread.
    explicit IdentifyWindows(int showMs = kShowMs);
    ~IdentifyWindows() override;
    IdentifyWindows(const IdentifyWindows&) = delete;
    IdentifyWindows& operator=(const IdentifyWindows&) = delete;

    // The windows shown now.
    std::vector<QWindow*> Windows() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
