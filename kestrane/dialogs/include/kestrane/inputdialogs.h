// The dialogs of the input-control list: a common input (name and limit)
// and a MIDI note input, whose entries are not kept.
#pragma once

#include <QDialog>
#include <QVariantMap>

class QLineEdit;

class DCommonInput : public QDialog {
    Q_OBJECT
public:
    // On accept writes "name" and "limit" (trimmed texts) into *result.
    DCommonInput(QVariantMap* result, QWidget* parent = nullptr);

public slots:
    void accept() override;

private:
    QVariantMap* m_result;
    QLineEdit* m_name = nullptr;
    QLineEdit* m_limit = nullptr;
};

class DMIDINoteInput : public QDialog {
    Q_OBJECT
public:
    explicit DMIDINoteInput(QWidget* parent = nullptr);
};
