// The input-control list of the control tab: inputs of four kinds, of which
// only the common input gets a row. The rows live in the table only; they
// are not part of the project.
#pragma once

#include <QStringList>
#include <QWidget>

class QComboBox;
class QPushButton;
class QTableWidget;

class InputControlList : public QWidget {
    Q_OBJECT
public:
    explicit InputControlList(QWidget* parent = nullptr);

    QTableWidget* table() const { return m_table; }
    QComboBox* combo() const { return m_combo; }
    QPushButton* deleteButton() const { return m_delete; }

public slots:
    void addItem(int typeIndex);
    void delItem();

private:
    void initUi();

    QStringList m_kinds;
    QTableWidget* m_table = nullptr;
    QComboBox* m_combo = nullptr;
    QPushButton* m_delete = nullptr;
};
