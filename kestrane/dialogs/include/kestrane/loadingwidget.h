// The splash of the console's start-up: a bar that fills in 1.5 s, after
// which the dialog closes itself.
#pragma once

#include <QDialog>

class QProgressBar;

class LoadingWidget : public QDialog {
    Q_OBJECT
public:
    explicit LoadingWidget(QWidget* parent = nullptr);
    QProgressBar* bar() const { return m_bar; }

public slots:
    void slotTimeOut();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QProgressBar* m_bar = nullptr;
};
