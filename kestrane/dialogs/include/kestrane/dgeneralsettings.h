// The console's general settings dialog: group "GeneralSettings" of
// setting.ini, the start at log-in, and at once the timeline length and
// the auto-save interval.
#pragma once

#include <QDialog>

class QButtonGroup;
class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QStackedWidget;

class DGeneralSettings : public QDialog {
    Q_OBJECT
public:
    explicit DGeneralSettings(QWidget* parent = nullptr);
    ~DGeneralSettings() override;

private slots:
    void slotBtClicked();
    void accept() override;
    void apply();

private:
    void setupUi();
    void retranslateUi();
    void initControls();
    void loadSettings();
    void saveSettings();
    void chooseSaveFolder();
    void chooseAutoLoadFile();

    QLineEdit* edit(const char* name) const;
    QCheckBox* box(const char* name) const;

    QStackedWidget* m_stack = nullptr;
    QButtonGroup* m_rateGroup = nullptr;
};
