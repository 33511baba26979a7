// The chooser of a new show-control command and the editing dialogs of the
// play, pause and jump controls. Each editing dialog edits the record of
// its id in GConfig and keeps no copy of it.
#pragma once

#include <QDialog>
#include <QString>

class QButtonGroup;
class QComboBox;
class QDialogButtonBox;
class QGridLayout;
class QLineEdit;
class QRadioButton;
struct PlayControlRecord;

namespace kestrane {
// The function key a control's name binds: "f1".."f12" at the start of the
// name, case-blind, the digits read as a number (Qt::Key_F1..Key_F12);
// Qt::Key_No for any other name.
int functionKeyFromName(const QString& name);
}  // namespace kestrane

// Asks which kind of command to add; writes 1 play, 0 pause or 2 jump.
class DAddCommand : public QDialog {
    Q_OBJECT
public:
    DAddCommand(int* type, QWidget* parent = nullptr);

private slots:
    void execCommand();

private:
    int* m_type;
};

// The form and the checks the three editing dialogs share.
class PlayControlDialog : public QDialog {
    Q_OBJECT
public:
    int controlId() const { return m_id; }

public slots:
    void accept() override;

protected:
    PlayControlDialog(int id, const QString& title, QSize size, QWidget* parent);
    // Fills the shared fields from the record; then the dialog's own.
    void load();
    virtual void loadExtra(const PlayControlRecord&) {}
    virtual void storeExtra(PlayControlRecord&) {}
    // The grid below the time row, for the dialog's own fields.
    QGridLayout* grid() const { return m_grid; }
    int nextRow() const;

private slots:
    void slotTimeLineTypeChanged(int index);

private:
    void refuse(QLineEdit* field, const QString& text);

    int m_id;
    QGridLayout* m_grid = nullptr;
    QLineEdit* m_name = nullptr;
    QComboBox* m_timelineType = nullptr;
    QLineEdit* m_timelineName = nullptr;
    QLineEdit* m_command = nullptr;
    QLineEdit* m_time = nullptr;
    QDialogButtonBox* m_buttons = nullptr;
};

class DPlayControl : public PlayControlDialog {
    Q_OBJECT
public:
    DPlayControl(int id, QWidget* parent = nullptr);
};

class DPauseControl : public PlayControlDialog {
    Q_OBJECT
public:
    DPauseControl(int id, QWidget* parent = nullptr);
};

class DJumpControl : public PlayControlDialog {
    Q_OBJECT
public:
    DJumpControl(int id, QWidget* parent = nullptr);

protected:
    void loadExtra(const PlayControlRecord& rec) override;
    void storeExtra(PlayControlRecord& rec) override;

private:
    void delayRule(bool play);

    QRadioButton* m_timePos = nullptr;
    QLineEdit* m_timePosValue = nullptr;
    QRadioButton* m_controlName = nullptr;
    QLineEdit* m_controlNameValue = nullptr;
    QRadioButton* m_play = nullptr;
    QRadioButton* m_pause = nullptr;
    QLineEdit* m_delay = nullptr;
};

// Runs the editing dialog of the control's type modally; its result.
int execPlayControlDialog(int id, QWidget* parent);
