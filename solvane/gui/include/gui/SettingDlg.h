// The general settings of the server: autostart, playback, cursor, window,
// media folder and filter, background picture and media rotation. OK checks
// the input, copies it into the core and saves mediacfg.ini through the
// core's own save.
#pragma once

#include <QDialog>
#include <QPointer>

class CMediaManager;
class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QLineEdit;
class QMessageBox;
class QToolButton;

class CSettingDlg : public QDialog {
public:
    explicit CSettingDlg(CMediaManager& core, QWidget* parent = nullptr);

    // Checks the input; stays open with a message on the first fault,
    // otherwise stores, saves and closes.
    void accept() override;

    // The controls, in the order of the dialog.
    QCheckBox* AutoStartBox() const { return m_autoStart; }
    QCheckBox* AutoPlayBox() const { return m_autoPlay; }
    QCheckBox* LoopMediaBox() const { return m_loopMedia; }
    QCheckBox* AutoHideCursorBox() const { return m_autoHideCursor; }
    QCheckBox* TopmostBox() const { return m_topmost; }
    QLineEdit* MediaFolderEdit() const { return m_mediaFolder; }
    QToolButton* MediaFolderBrowse() const { return m_mediaFolderBrowse; }
    QLineEdit* VideoExtensionEdit() const { return m_videoExtension; }
    QCheckBox* UseBackgroundBox() const { return m_useBackground; }
    QCheckBox* BackgroundIfNoVideoBox() const { return m_backgroundIfNoVideo; }
    QLineEdit* BackgroundPathEdit() const { return m_backgroundPath; }
    QToolButton* BackgroundPathBrowse() const { return m_backgroundBrowse; }
    // Radio buttons with ids 0 to 5: the rotation angle index.
    QButtonGroup* RotationGroup() const { return m_rotation; }
    QLineEdit* RotationConditionEdit() const { return m_rotationCondition; }
    // The message box open now, if any.
    QMessageBox* OpenMessage() const;

private:
    void ReadFromCore();
    void Refuse(const QString& text, QWidget* field);
    void BrowseFolder();
    void BrowseFile();

    CMediaManager& m_core;
    QCheckBox* m_autoStart = nullptr;
    QCheckBox* m_autoPlay = nullptr;
    QCheckBox* m_loopMedia = nullptr;
    QCheckBox* m_autoHideCursor = nullptr;
    QCheckBox* m_topmost = nullptr;
    QLineEdit* m_mediaFolder = nullptr;
    QToolButton* m_mediaFolderBrowse = nullptr;
    QLineEdit* m_videoExtension = nullptr;
    QCheckBox* m_useBackground = nullptr;
    QCheckBox* m_backgroundIfNoVideo = nullptr;
    QLineEdit* m_backgroundPath = nullptr;
    QToolButton* m_backgroundBrowse = nullptr;
    QButtonGroup* m_rotation = nullptr;
    QLineEdit* m_rotationCondition = nullptr;
    QPointer<QMessageBox> m_message;
    bool m_autoStartWas = false;
};
