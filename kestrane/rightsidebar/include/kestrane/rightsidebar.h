// The right-hand panel of the main window: three tab buttons over the media,
// device and control pages. The media and control pages come from their own
// parts through RightSidebar::setPages; without them a blank page stands in.
// The sidebar answers the side-panel hooks of GConfig: the device and tab
// calls itself, the media calls through the hooks that were installed before
// it (those of the media page).
#pragma once

#include <QList>
#include <QWidget>

#include <functional>
#include <memory>

class DeviceSidebar;
class QPushButton;
class QStackedWidget;
class SidePanelHooks;

struct RightSidebarPages {
    // Each makes its page with the given parent; unset: a blank page.
    std::function<QWidget*(QWidget* parent)> makeMediaPage;
    std::function<QWidget*(QWidget* parent)> makeControlPage;
    // The media page back on its first page.
    std::function<void(QWidget* mediaPage)> mediaFirstPage;
    // The media page shows a media item's properties; unset: the media hooks are asked.
    std::function<void(QWidget* mediaPage, int mediaId, bool switchTab)> showMediaAttribute;
    // The control page on its input (0) or output (1) tab.
    std::function<void(QWidget* controlPage, int page)> setControlTab;
};

class RightSidebar : public QWidget {
    Q_OBJECT
public:
    // The pages of every sidebar made afterwards.
    static void setPages(const RightSidebarPages& pages);

    explicit RightSidebar(QWidget* parent = nullptr);
    ~RightSidebar() override;

    void showMediaTab();
    void showDeviceTab();
    void showControlTab(int page);
    void showMediaAttribute(int mediaId, bool switchTab);
    void showDeviceAttribute(int deviceId, bool switchTab);
    void resetTabs();
    void updateDeviceNames();

    QStackedWidget* stack() const { return m_stack; }
    const QList<QPushButton*>& buttons() const { return m_buttons; }
    DeviceSidebar* deviceSidebar() const { return m_devicePage; }
    QWidget* mediaPage() const { return m_mediaPage; }
    QWidget* controlPage() const { return m_controlPage; }
    // The hooks that answer the media calls.
    SidePanelHooks* mediaHooks() const { return m_inner; }

public slots:
    void btClicked();

private:
    void initUi();
    void selectTab(int page);

    QList<QPushButton*> m_buttons;
    QStackedWidget* m_stack = nullptr;
    DeviceSidebar* m_devicePage = nullptr;
    QWidget* m_mediaPage = nullptr;
    QWidget* m_controlPage = nullptr;
    RightSidebarPages m_pages;
    SidePanelHooks* m_inner = nullptr;
    std::unique_ptr<SidePanelHooks> m_hooks;
};
