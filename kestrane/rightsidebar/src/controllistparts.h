// The frame that the input-control and output-control lists share: a
// header of three captions, the table, and a bottom strip with the add-combo
// and the delete button.
#pragma once

#include <QStringList>

class QComboBox;
class QPushButton;
class QTableWidget;
class QVBoxLayout;
class QWidget;

namespace kestrane::controllist {

struct Parts {
    QComboBox* combo = nullptr;
    QPushButton* deleteButton = nullptr;
};

// Sets up `list` around `table` (made by the caller, parented to `list`):
// the combo box gets the entries, the first shown only as its caption.
Parts build(QWidget* list, QTableWidget* table, const QStringList& entries);

}  // namespace kestrane::controllist
