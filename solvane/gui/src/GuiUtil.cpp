#include "GuiUtil.h"

#include <QAbstractButton>

#include "core/CommandEntry.h"
#include "core/MediaManager.h"

QMessageBox* OpenMessageBox(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                            const QString& text, QMessageBox::StandardButtons buttons,
                            std::function<void(QMessageBox::StandardButton)> onButton) {
    auto* box = new QMessageBox(icon, caption, text, buttons, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    if (onButton) {
        QObject::connect(box, &QMessageBox::buttonClicked, box,
                         [box, onButton](QAbstractButton* button) { onButton(box->standardButton(button)); });
    }
    box->open();
    return box;
}

CoreSettingsLock::CoreSettingsLock(CMediaManager& core)
    : m_command(GlobalCommandLock()), m_core(core.m_csCore) {}
