// The control tab of the right sidebar: three tab buttons over the
// input-control list, the output-control list and a task page that is not
// offered yet.
#pragma once

#include <QList>
#include <QWidget>

class InputControlList;
class OutControlList;
class QPushButton;
class QStackedWidget;

class ControlSidebar : public QWidget {
    Q_OBJECT
public:
    explicit ControlSidebar(QWidget* parent = nullptr);

    // Shows that page with its button checked; nothing when it is showing.
    void setCurrentTab(int page);

    const QList<QPushButton*>& buttons() const { return m_buttons; }
    QStackedWidget* stack() const { return m_stack; }
    InputControlList* inputList() const { return m_inputs; }
    OutControlList* outList() const { return m_outputs; }

public slots:
    void btClicked();

private:
    void initUi();
    void checkOnly(int index);

    QList<QPushButton*> m_buttons;
    QStackedWidget* m_stack = nullptr;
    InputControlList* m_inputs = nullptr;
    OutControlList* m_outputs = nullptr;
};
