// A line edit for stepped values: Return and Enter do nothing here (so they
// neither finish the edit nor press a dialog's default button), and each
// wheel step is reported before the wheel goes on to the parent.
#pragma once

#include <QLineEdit>

class WheelLineEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit WheelLineEdit(QWidget* parent = nullptr);

signals:
    // down is true for a step forward (away from the user), false otherwise.
    void wheelRolled(bool down);

protected:
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};
