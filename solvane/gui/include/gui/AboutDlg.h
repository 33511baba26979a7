// The about box: the application icon and the product version.
#pragma once

#include <QDialog>

class QLabel;

class CAboutDlg : public QDialog {
public:
    explicit CAboutDlg(QWidget* parent = nullptr);

    QLabel* VersionLabel() const { return m_version; }

private:
    QLabel* m_version = nullptr;
};
