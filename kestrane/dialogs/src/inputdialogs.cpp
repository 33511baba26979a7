#include "kestrane/inputdialogs.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "kestrane/prompt.h"

namespace {

QLineEdit* addField(QGridLayout* grid, QWidget* parent, const char* label, const char* name) {
    const int row = grid->rowCount();
    grid->addWidget(new QLabel(QString::fromUtf8(label), parent), row, 0);
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    grid->addWidget(edit, row, 1);
    return edit;
}

QDialogButtonBox* addButtons(QDialog* dialog, QVBoxLayout* layout) {
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    box->setObjectName(QStringLiteral("buttonBox"));
    QObject::connect(box, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(box, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    layout->addWidget(box);
    return box;
}

}  // namespace

DCommonInput::DCommonInput(QVariantMap* result, QWidget* parent) : QDialog(parent), m_result(result) {
    setWindowTitle(QString::fromUtf8("添加普通输入"));
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    m_name = addField(grid, this, "名称：", "name");
    m_name->setPlaceholderText(QString::fromUtf8("请填写输入名称"));
    m_limit = addField(grid, this, "限制：", "limit");
    layout->addLayout(grid);
    addButtons(this, layout);
    resize(212, 102);
}

void DCommonInput::accept() {
    const QString name = m_name->text().trimmed();
    if (name.isEmpty()) {
        kestrane::prompt::warning(this, QString::fromUtf8("填写错误"), QString::fromUtf8("请填写输入名称"));
        return;
    }
    const QString limit = m_limit->text().trimmed();
    if (limit.isEmpty()) {
        kestrane::prompt::warning(this, QString::fromUtf8("填写错误"), QString::fromUtf8("请填写限制"));
        return;
    }
    if (m_result) {
        m_result->insert(QStringLiteral("name"), name);
        m_result->insert(QStringLiteral("limit"), limit);
    }
    QDialog::accept();
}

DMIDINoteInput::DMIDINoteInput(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Dialog"));
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    addField(grid, this, "名称：", "name")->setPlaceholderText(QString::fromUtf8("请填写输入名称"));
    addField(grid, this, "通道：", "channel");
    addField(grid, this, "注意：", "notice");
    layout->addLayout(grid);
    addButtons(this, layout);
    resize(229, 135);
}
