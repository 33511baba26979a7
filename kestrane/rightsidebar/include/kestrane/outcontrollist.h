// The output-control list of the control tab: the string outputs of the
// project (records in GConfig), an add-combo and a delete button. It
// registers itself in GConfig, whose project loader fills it.
#pragma once

#include <QWidget>

class OutControlTable;
class QComboBox;
class QPushButton;

class OutControlList : public QWidget {
    Q_OBJECT
public:
    explicit OutControlList(QWidget* parent = nullptr);
    ~OutControlList() override;

    OutControlTable* table() const { return m_table; }
    QComboBox* combo() const { return m_combo; }
    QPushButton* deleteButton() const { return m_delete; }

public slots:
    void addItem(int typeIndex);
    // A row for a record already in GConfig (the loader's call).
    void addItemUsingData(int id);
    void delItem();
    // Every row gone (the project is cleared); the records are not touched.
    void clearItems();

private:
    void initLayout();

    OutControlTable* m_table = nullptr;
    QComboBox* m_combo = nullptr;
    QPushButton* m_delete = nullptr;
};
