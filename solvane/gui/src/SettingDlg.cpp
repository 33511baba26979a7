#include "gui/SettingDlg.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QToolButton>
#include <QVBoxLayout>

#include <filesystem>

#include "GuiUtil.h"
#include "core/MediaManager.h"
#include "gui/DialogServices.h"
#include "util/Util.h"

namespace {

namespace fs = std::filesystem;

bool IsFolder(const QString& path) {
    std::error_code ec;
    return !path.isEmpty() && fs::is_directory(fs::path(ToUtf8(path)), ec);
}

bool IsFile(const QString& path) {
    std::error_code ec;
    return !path.isEmpty() && fs::is_regular_file(fs::path(ToUtf8(path)), ec);
}

// An edit with a browse button beside it.
QWidget* EditWithBrowse(QWidget* parent, QLineEdit*& edit, QToolButton*& button) {
    auto* box = new QWidget(parent);
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    edit = new QLineEdit(box);
    button = new QToolButton(box);
    button->setText(QStringLiteral("..."));
    row->addWidget(edit, 1);
    row->addWidget(button);
    return box;
}

}  // namespace

CSettingDlg::CSettingDlg(CMediaManager& core, QWidget* parent) : QDialog(parent), m_core(core) {
    setWindowTitle(QStringLiteral("设置"));
    setWindowIcon(ServerIcon());

    m_autoStart = new QCheckBox(QStringLiteral("开机自启动"), this);
    m_autoPlay = new QCheckBox(QStringLiteral("启动后，自动播放上次播放的内容"), this);
    m_loopMedia = new QCheckBox(QStringLiteral("视频播放结束后，从头继续播放"), this);
    m_autoHideCursor = new QCheckBox(QStringLiteral("自动隐藏鼠标"), this);
    m_topmost = new QCheckBox(QStringLiteral("窗口置顶"), this);
    QWidget* folderRow = EditWithBrowse(this, m_mediaFolder, m_mediaFolderBrowse);
    m_videoExtension = new QLineEdit(this);
    m_useBackground = new QCheckBox(QStringLiteral("启用背景图片"), this);
    m_backgroundIfNoVideo = new QCheckBox(QStringLiteral("无视频或视频不播放时，显示背景图片"), this);
    QWidget* pictureRow = EditWithBrowse(this, m_backgroundPath, m_backgroundBrowse);

    auto* rotationBox = new QGroupBox(QStringLiteral("旋转角度："), this);
    auto* rotationGrid = new QGridLayout(rotationBox);
    m_rotation = new QButtonGroup(this);
    const char* const angles[] = {"不旋转", "90度", "180度", "270度", "水平镜像", "垂直镜像"};
    for (int i = 0; i < 6; ++i) {
        auto* radio = new QRadioButton(QString::fromUtf8(angles[i]), rotationBox);
        m_rotation->addButton(radio, i);
        rotationGrid->addWidget(radio, i / 3, i % 3);
    }
    m_rotationCondition = new QLineEdit(this);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("确定"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
    connect(buttons, &QDialogButtonBox::accepted, this, &CSettingDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_mediaFolderBrowse, &QToolButton::clicked, this, &CSettingDlg::BrowseFolder);
    connect(m_backgroundBrowse, &QToolButton::clicked, this, &CSettingDlg::BrowseFile);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_autoStart);
    layout->addWidget(m_autoPlay);
    layout->addWidget(m_loopMedia);
    layout->addWidget(m_autoHideCursor);
    layout->addWidget(m_topmost);
    layout->addWidget(new QLabel(QStringLiteral("视频文件所在文件夹:"), this));
    layout->addWidget(folderRow);
    layout->addWidget(
        new QLabel(QStringLiteral("视频文件扩展名过滤：（多个扩展名用|分割，示例：*.AVI|*.MPG|*.RMVB)"), this));
    layout->addWidget(m_videoExtension);
    layout->addWidget(m_useBackground);
    layout->addWidget(m_backgroundIfNoVideo);
    layout->addWidget(new QLabel(QStringLiteral("背景图片路径:"), this));
    layout->addWidget(pictureRow);
    layout->addWidget(rotationBox);
    layout->addWidget(new QLabel(QStringLiteral("旋转条件："), this));
    layout->addWidget(m_rotationCondition);
    layout->addWidget(buttons);

    ReadFromCore();

    adjustSize();
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void CSettingDlg::ReadFromCore() {
    m_autoStartWas = m_core.System().IsAutoStart();
    m_autoStart->setChecked(m_autoStartWas);
    CoreSettingsLock lock(m_core);
    m_autoPlay->setChecked(m_core.m_nAutoPlay != 0);
    m_loopMedia->setChecked(m_core.m_nLoopMedia != 0);
    m_autoHideCursor->setChecked(m_core.m_nAutoHideCursor != 0);
    m_topmost->setChecked(m_core.m_nTopmostWindow != 0);
    m_mediaFolder->setText(FromUtf8(m_core.m_strMediaFolder));
    m_videoExtension->setText(FromUtf8(m_core.m_strMediaVideoExtension));
    m_useBackground->setChecked(m_core.m_nUseBackgroundBmp != 0);
    m_backgroundIfNoVideo->setChecked(m_core.m_nDisplayBackgroundIfNoVideo != 0);
    m_backgroundPath->setText(FromUtf8(m_core.m_strBmpFilePath));
    // An angle outside the six leaves no radio checked; OK then keeps it.
    if (QAbstractButton* radio = m_rotation->button(m_core.m_nRotationAngle)) radio->setChecked(true);
    m_rotationCondition->setText(FromUtf8(m_core.m_strRotationCondition));
}

QMessageBox* CSettingDlg::OpenMessage() const { return m_message; }

void CSettingDlg::Refuse(const QString& text, QWidget* field) {
    if (field) field->setFocus();
    m_message = OpenMessageBox(this, QMessageBox::Warning, windowTitle(), text, QMessageBox::Ok);
}

void CSettingDlg::accept() {
    const QString folder = m_mediaFolder->text();
    const QString picture = m_backgroundPath->text();
    if (!IsFolder(folder)) {
        Refuse(QStringLiteral("指定的视频文件夹不存在！\n请重新选择。"), m_mediaFolder);
        return;
    }
    if (m_useBackground->isChecked() && !IsFile(picture)) {
        Refuse(QStringLiteral("指定的背景图片不存在！\n请重新选择。"), m_backgroundPath);
        return;
    }

    const bool autoStart = m_autoStart->isChecked();
    if (autoStart != m_autoStartWas && !m_core.System().SetAutoStart(autoStart))
        LOGTEXT::LogError("settings: the autostart entry could not be %s.", autoStart ? "written" : "removed");

    bool topmostChanged = false;
    {
        CoreSettingsLock lock(m_core);
        const std::string folderText = ToUtf8(folder);
        const std::string extension = ToUtf8(m_videoExtension->text());
        const bool listsChanged = folderText != m_core.m_strMediaFolder || extension != m_core.m_strMediaVideoExtension;
        const int topmost = m_topmost->isChecked() ? 1 : 0;
        topmostChanged = topmost != m_core.m_nTopmostWindow;

        m_core.m_nAutoPlay = m_autoPlay->isChecked() ? 1 : 0;
        m_core.m_nLoopMedia = m_loopMedia->isChecked() ? 1 : 0;
        m_core.m_nAutoHideCursor = m_autoHideCursor->isChecked() ? 1 : 0;
        m_core.m_nTopmostWindow = topmost;
        m_core.m_strMediaFolder = folderText;
        m_core.m_strMediaVideoExtension = extension;
        m_core.m_nUseBackgroundBmp = m_useBackground->isChecked() ? 1 : 0;
        m_core.m_nDisplayBackgroundIfNoVideo = m_backgroundIfNoVideo->isChecked() ? 1 : 0;
        m_core.m_strBmpFilePath = ToUtf8(picture);
        if (m_rotation->checkedId() >= 0) m_core.m_nRotationAngle = m_rotation->checkedId();
        m_core.m_strRotationCondition = ToUtf8(m_rotationCondition->text());

        m_core.SaveSettings();
        m_core.ReloadBackgroundImage();
        // The file lists that commands answer with follow the new folder and filter.
        if (listsChanged) m_core.RefreshMediaFileLists(m_core.m_strMediaFolder);
    }
    if (topmostChanged) m_core.Output().RequestTopmost();
    QDialog::accept();
}

void CSettingDlg::BrowseFolder() {
    auto* browse = new QFileDialog(this, QString(), m_mediaFolder->text());
    browse->setAttribute(Qt::WA_DeleteOnClose);
    browse->setFileMode(QFileDialog::Directory);
    browse->setOption(QFileDialog::ShowDirsOnly);
    connect(browse, &QFileDialog::fileSelected, m_mediaFolder, &QLineEdit::setText);
    browse->open();
}

void CSettingDlg::BrowseFile() {
    auto* browse = new QFileDialog(this, QString(), QFileInfo(m_backgroundPath->text()).path());
    browse->setAttribute(Qt::WA_DeleteOnClose);
    browse->setFileMode(QFileDialog::ExistingFile);
    connect(browse, &QFileDialog::fileSelected, m_backgroundPath, &QLineEdit::setText);
    browse->open();
}
