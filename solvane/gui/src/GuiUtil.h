// Helpers shared by the server's dialogs.
#pragma once

#include <QMessageBox>
#include <QString>

#include <functional>
#include <mutex>
#include <string>

class CMediaManager;

// Opens a message box modal to its parent window only. It runs no event
// loop of its own, so the render loop keeps drawing while it is open;
// onButton receives the button that closed it.
QMessageBox* OpenMessageBox(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                            const QString& text, QMessageBox::StandardButtons buttons,
                            std::function<void(QMessageBox::StandardButton)> onButton = {});

// The global command lock, then the core lock: the order every command
// keeps, so that a dialog's change never interleaves with one.
class CoreSettingsLock {
public:
    explicit CoreSettingsLock(CMediaManager& core);

private:
    std::unique_lock<std::recursive_mutex> m_command;
    std::unique_lock<std::recursive_mutex> m_core;
};

inline QString FromUtf8(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<int>(text.size())); }
inline std::string ToUtf8(const QString& text) { return text.toUtf8().toStdString(); }
