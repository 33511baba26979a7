// The media-import progress dialog. Closing it only hides it: the main
// window shows it again for the next import.
#pragma once

#include <QDialog>

class QLabel;
class QProgressBar;

class DProgressBar : public QDialog {
    Q_OBJECT
public:
    explicit DProgressBar(QWidget* parent = nullptr);

    void setInfo(const QString& text);
    void setProgress(int value);
    QLabel* info() const { return m_info; }
    QProgressBar* progress() const { return m_progress; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void setupUi();
    void retranslateUi();

    QLabel* m_info = nullptr;
    QProgressBar* m_progress = nullptr;
};
