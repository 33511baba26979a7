#include "gui/QuorvelDlg.h"

#include <QAction>
#include <QCursor>
#include <QIcon>
#include <QMenu>
#include <QMetaObject>
#include <QSystemTrayIcon>

#include "core/MediaManager.h"
#include "gui/AboutDlg.h"
#include "gui/CenterControlSettingDlg.h"
#include "gui/FlushRectDlg.h"
#include "gui/SettingDlg.h"
#include "util/Util.h"

namespace {

// Opens the one dialog of its kind, or brings the open one to the front.
template <typename Dialog, typename Make>
void OpenOnce(QPointer<Dialog>& slot, Make make) {
    if (slot && slot->isVisible()) {
        slot->raise();
        slot->activateWindow();
        return;
    }
    // Closed but not yet removed (its removal waits for the event loop).
    delete slot.data();
    Dialog* dialog = make();
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    slot = dialog;
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

}  // namespace

CQuorvelDlg::CQuorvelDlg(CMediaManager& core, DialogServices services, QWidget* parent)
    : QDialog(parent, Qt::Tool), m_core(core), m_services(std::move(services)) {
    // Never shown, never in the task bar: it only carries the tray and the
    // dialogs' parent.
    setWindowTitle(QStringLiteral("Solvane"));
    setWindowIcon(ServerIcon());

    m_menu = new QMenu(this);
    auto add = [this](const char* text, uint32_t command) {
        QAction* action = m_menu->addAction(QString::fromUtf8(text));
        action->setData(command);
        connect(action, &QAction::triggered, this, [this, command] { OnCommand(command); });
    };
    // Settings and central control have no other way in on this desktop.
    add("设置", kCmdSettings);
    add("中控配置", kCmdCentralControl);
    add("关于", kCmdAbout);
    m_menu->addSeparator();
    add("退出", kCmdExit);

    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        m_tray = new QSystemTrayIcon(ServerIcon(), this);
        m_tray->setToolTip(QStringLiteral("Solvane"));
        m_tray->setContextMenu(m_menu);
        connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::Trigger) ShowTrayMenu();
        });
        m_tray->show();
    } else {
        LOGTEXT::LogInfo("no system tray on this desktop: the server runs without its tray icon.");
    }
}

CQuorvelDlg::~CQuorvelDlg() {
    if (m_tray) m_tray->hide();
}

CAboutDlg* CQuorvelDlg::AboutDialog() const { return m_about; }
CSettingDlg* CQuorvelDlg::SettingDialog() const { return m_settings; }
CCenterControlSettingDlg* CQuorvelDlg::CenterControlDialog() const { return m_central; }

QAction* CQuorvelDlg::ActionOf(uint32_t command) const {
    for (QAction* action : m_menu->actions())
        if (!action->isSeparator() && action->data().toUInt() == command) return action;
    return nullptr;
}

void CQuorvelDlg::ShowTrayMenu() {
    m_menu->popup(QCursor::pos());
}

void CQuorvelDlg::OnCommand(uint32_t command) {
    switch (command) {
    case kCmdExit:
        m_core.Output().RequestQuit();
        break;
    case kCmdAbout:
        OpenOnce(m_about, [this] { return new CAboutDlg(this); });
        break;
    case kCmdSettings:
        OpenOnce(m_settings, [this] { return new CSettingDlg(m_core, this); });
        break;
    case kCmdCentralControl:
        OpenOnce(m_central, [this] { return new CCenterControlSettingDlg(m_core, m_services, this); });
        break;
    default:
        break;
    }
}

void CQuorvelDlg::PostCommand(uint32_t command) {
    QMetaObject::invokeMethod(this, [this, command] { OnCommand(command); }, Qt::QueuedConnection);
}

void CQuorvelDlg::PostFlushRect(const RECT& rect) {
    QMetaObject::invokeMethod(this, [this, rect] { ShowFlushRect(rect); }, Qt::QueuedConnection);
}

void CQuorvelDlg::ShowFlushRect(const RECT& rect) {
    if (rect.right <= rect.left || rect.bottom <= rect.top) return;
    auto* flasher = new CFlushRectDlg(rect, this);
    flasher->setAttribute(Qt::WA_DeleteOnClose);
    flasher->show();
}
