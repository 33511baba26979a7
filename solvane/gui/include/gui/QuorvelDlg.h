// The display server's hidden main window: it owns the tray icon and its
// menu and opens the server's dialogs. Everything here lives on the Qt main
// thread (the render loop's); other threads reach it only through the Post
// functions, which queue the request to that thread.
#pragma once

#include <QDialog>
#include <QPointer>

#include "gui/DialogServices.h"
#include "platform/types.h"

class CMediaManager;
class CAboutDlg;
class CCenterControlSettingDlg;
class CSettingDlg;
class QAction;
class QMenu;
class QSystemTrayIcon;

// Commands of the main dialog (the tray menu and posted requests).
enum QuorvelCommand : uint32_t {
    kCmdSettings = 32771,
    kCmdAbout = 32772,
    kCmdExit = 32773,
    kCmdCentralControl = 32777,
};

class CQuorvelDlg : public QDialog {
public:
    explicit CQuorvelDlg(CMediaManager& core, DialogServices services = DefaultDialogServices(),
                         QWidget* parent = nullptr);
    ~CQuorvelDlg() override;

    // Runs one command on this thread. The about, settings and central-control
    // dialogs open modeless, one of each at a time: a request while one is
    // open brings it to the front and opens nothing. Exit asks the output
    // window to end the render loop.
    void OnCommand(uint32_t command);
    // From any thread: queue a command, or flash a screen rectangle.
    void PostCommand(uint32_t command);
    void PostFlushRect(const RECT& rect);
    void ShowFlushRect(const RECT& rect);

    // Enter and Esc never close this window.
    void accept() override {}
    void reject() override {}

    QMenu* TrayMenu() const { return m_menu; }
    // Null when the desktop has no system tray.
    QSystemTrayIcon* TrayIcon() const { return m_tray; }
    QAction* ActionOf(uint32_t command) const;
    CAboutDlg* AboutDialog() const;
    CSettingDlg* SettingDialog() const;
    CCenterControlSettingDlg* CenterControlDialog() const;

private:
    void ShowTrayMenu();

    CMediaManager& m_core;
    DialogServices m_services;
    QMenu* m_menu = nullptr;
    QSystemTrayIcon* m_tray = nullptr;
    QPointer<CAboutDlg> m_about;
    QPointer<CSettingDlg> m_settings;
    QPointer<CCenterControlSettingDlg> m_central;
};
