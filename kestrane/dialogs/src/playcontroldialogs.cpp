#include "kestrane/playcontroldialogs.h"

#include <QAbstractItemView>
#include <QButtonGroup>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QVBoxLayout>

#include "kestrane/delegates.h"
#include "kestrane/gconfig.h"
#include "kestrane/prompt.h"
#include "kestrane/utils.h"

namespace kestrane {

int functionKeyFromName(const QString& name) {
    static const QRegularExpression kKey(QStringLiteral("^f([0-9]+)"));
    const QRegularExpressionMatch m = kKey.match(name.toLower());
    if (!m.hasMatch())
        return Qt::Key_No;
    bool ok = false;
    const qlonglong n = m.captured(1).toLongLong(&ok);
    // A run of digits too long for a number names no key either.
    if (!ok || n < 1 || n > 12)
        return Qt::Key_No;
    return Qt::Key_F1 + int(n - 1);
}

}  // namespace kestrane

namespace {

QLabel* formLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

QLineEdit* formEdit(const QString& name, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setAlignment(Qt::AlignCenter);
    return edit;
}

}  // namespace

// ---------------------------------------------------------------- chooser

DAddCommand::DAddCommand(int* type, QWidget* parent) : QDialog(parent), m_type(type) {
    setFixedSize(152, 104);
    setWindowTitle(QStringLiteral("添加命令"));
    auto* layout = new QVBoxLayout(this);
    const struct {
        const char* name;
        const char* text;
    } buttons[] = {{"play", "播放命令"}, {"pause", "暂停命令"}, {"jump", "跳转命令"}};
    for (const auto& b : buttons) {
        auto* button = new QPushButton(QString::fromUtf8(b.text), this);
        button->setObjectName(QString::fromLatin1(b.name));
        connect(button, &QPushButton::clicked, this, &DAddCommand::execCommand);
        layout->addWidget(button);
    }
}

void DAddCommand::execCommand() {
    const QString name = sender() ? sender()->objectName() : QString();
    if (name == QLatin1String("play"))
        *m_type = 1;
    else if (name == QLatin1String("pause"))
        *m_type = 0;
    else if (name == QLatin1String("jump"))
        *m_type = 2;
    QDialog::accept();
}

// ---------------------------------------------------------------- shared form

PlayControlDialog::PlayControlDialog(int id, const QString& title, QSize size, QWidget* parent)
    : QDialog(parent), m_id(id) {
    setWindowTitle(title);
    setFixedSize(size);
    auto* outer = new QVBoxLayout(this);
    m_grid = new QGridLayout;
    outer->addLayout(m_grid);

    m_name = formEdit(QStringLiteral("name"), this);
    m_name->setPlaceholderText(QStringLiteral("名称"));
    m_grid->addWidget(formLabel(QStringLiteral("  名称："), this), 0, 0);
    m_grid->addWidget(m_name, 0, 1, 1, 2);

    m_timelineType = new QComboBox(this);
    m_timelineType->setObjectName(QStringLiteral("timelineType"));
    m_timelineType->setMinimumWidth(80);
    m_timelineType->addItems({QStringLiteral("主时间轴"), QStringLiteral("辅助时间轴")});
    m_timelineType->view()->setItemDelegateForRow(1, new DelegateForComboBox(m_timelineType));
    connect(m_timelineType, QOverload<int>::of(&QComboBox::activated), this,
            &PlayControlDialog::slotTimeLineTypeChanged);
    m_timelineName = formEdit(QStringLiteral("lineEdit_2"), this);
    m_timelineName->setPlaceholderText(QStringLiteral("辅助时间轴名称"));
    m_timelineName->setEnabled(false);
    m_grid->addWidget(formLabel(QStringLiteral("应用于："), this), 1, 0);
    m_grid->addWidget(m_timelineType, 1, 1);
    m_grid->addWidget(m_timelineName, 1, 2);

    m_command = formEdit(QStringLiteral("commandFromNet"), this);
    m_command->setPlaceholderText(QStringLiteral("通过网络接受的命令"));
    m_grid->addWidget(formLabel(QStringLiteral("  命令："), this), 2, 0);
    m_grid->addWidget(m_command, 2, 1, 1, 2);

    m_time = formEdit(QStringLiteral("time"), this);
    m_time->setInputMask(QStringLiteral("00:00:00.000;_"));
    m_grid->addWidget(formLabel(QStringLiteral("  时间："), this), 3, 0);
    m_grid->addWidget(m_time, 3, 1, 1, 2);

    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Qt::Horizontal, this);
    m_buttons->setObjectName(QStringLiteral("buttonBox"));
    connect(m_buttons, &QDialogButtonBox::accepted, this, &PlayControlDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &PlayControlDialog::reject);
    outer->addStretch(1);
    outer->addWidget(m_buttons);
}

int PlayControlDialog::nextRow() const { return m_grid->rowCount(); }

void PlayControlDialog::load() {
    const PlayControlRecord* rec = GConfig::instance().findPlayControl(m_id);
    if (!rec)
        return;
    m_time->setText(kestrane::msToTimeTextMs(rec->time));
    if (!rec->name.isEmpty())
        m_name->setText(rec->name);
    if (!rec->command.isEmpty())
        m_command->setText(rec->command);
    loadExtra(*rec);
}

void PlayControlDialog::slotTimeLineTypeChanged(int) {
    // Only the main time axis is in force.
    m_timelineType->setCurrentIndex(0);
}

void PlayControlDialog::refuse(QLineEdit* field, const QString& text) {
    kestrane::prompt::warning(this, QStringLiteral("输入错误"), text);
    field->setFocus();
    field->selectAll();
}

void PlayControlDialog::accept() {
    GConfig& config = GConfig::instance();
    const QString name = m_name->text().trimmed();
    const QString command = m_command->text().trimmed();
    if (!config.isPlayControlNameFree(m_id, name)) {
        refuse(m_name, QStringLiteral("您填写的名称与已有的名称重复，请重填"));
        return;
    }
    if (!config.isPlayControlCommandFree(m_id, command)) {
        refuse(m_command, QStringLiteral("您填写的命令与已有的控制命令重复，请重填"));
        return;
    }
    const int t = kestrane::timeTextToMs(m_time->text().trimmed());
    if (t > config.timeAxisLength()) {
        refuse(m_time, QStringLiteral("您设置的时间超出了当前时间线的最大值，请重填"));
        return;
    }
    PlayControlRecord* rec = config.findPlayControl(m_id);
    if (!rec) {
        QDialog::reject();
        return;
    }
    rec->name = name;
    rec->keyCode = kestrane::functionKeyFromName(name);
    rec->command = command;
    rec->time = t;
    storeExtra(*rec);
    // An edited control is a change of the project.
    config.setSaved(false);
    QDialog::accept();
}

// ---------------------------------------------------------------- the three dialogs

DPlayControl::DPlayControl(int id, QWidget* parent)
    : PlayControlDialog(id, QStringLiteral("播放命令"), QSize(253, 160), parent) {
    load();
}

DPauseControl::DPauseControl(int id, QWidget* parent)
    : PlayControlDialog(id, QStringLiteral("暂停命令"), QSize(260, 188), parent) {
    auto* spacer = new QLabel(this);
    spacer->setFixedWidth(48);
    auto* box = new QWidget(this);
    box->setObjectName(QStringLiteral("widget"));
    auto* layout = new QHBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* pause = new QRadioButton(QStringLiteral("暂停"), box);
    pause->setObjectName(QStringLiteral("pause"));
    pause->setChecked(true);
    auto* stop = new QRadioButton(QStringLiteral("停止（只用于辅助时间轴）"), box);
    stop->setObjectName(QStringLiteral("stop"));
    stop->setEnabled(false);
    layout->addWidget(pause);
    layout->addWidget(stop);
    const int row = nextRow();
    grid()->addWidget(spacer, row, 0);
    grid()->addWidget(box, row, 1, 1, 2);
    load();
}

DJumpControl::DJumpControl(int id, QWidget* parent)
    : PlayControlDialog(id, QStringLiteral("跳转命令"), QSize(290, 230), parent) {
    int row = nextRow();
    auto* targets = new QButtonGroup(this);
    m_timePos = new QRadioButton(QStringLiteral("时间位置    "), this);
    m_timePos->setObjectName(QStringLiteral("radio_timepos"));
    m_timePos->setChecked(true);
    m_timePosValue = formEdit(QStringLiteral("timeposValue"), this);
    m_timePosValue->setInputMask(QStringLiteral("00:00:00.000;_"));
    m_timePosValue->setPlaceholderText(QStringLiteral("00:00:00.000"));
    grid()->addWidget(formLabel(QStringLiteral("跳转至："), this), row, 0);
    grid()->addWidget(m_timePos, row, 1);
    grid()->addWidget(m_timePosValue, row, 2);
    ++row;
    m_controlName = new QRadioButton(QStringLiteral("控制命令名称"), this);
    m_controlName->setObjectName(QStringLiteral("radio_controlName"));
    m_controlNameValue = formEdit(QStringLiteral("controlnameValue"), this);
    m_controlNameValue->setPlaceholderText(QStringLiteral("名称"));
    auto* empty = new QLabel(this);
    empty->setFixedWidth(48);
    grid()->addWidget(empty, row, 0);
    grid()->addWidget(m_controlName, row, 1);
    grid()->addWidget(m_controlNameValue, row, 2);
    targets->addButton(m_timePos);
    targets->addButton(m_controlName);
    ++row;

    auto* after = new QButtonGroup(this);
    m_play = new QRadioButton(QStringLiteral("播放 "), this);
    m_play->setObjectName(QStringLiteral("radio_play"));
    m_play->setChecked(true);
    m_pause = new QRadioButton(QStringLiteral("暂停  "), this);
    m_pause->setObjectName(QStringLiteral("radio_pause"));
    after->addButton(m_play);
    after->addButton(m_pause);
    auto* afterRow = new QHBoxLayout;
    afterRow->addWidget(m_play);
    afterRow->addWidget(m_pause);
    afterRow->addWidget(new QLabel(QStringLiteral("延迟： "), this));
    m_delay = new QLineEdit(this);
    m_delay->setObjectName(QStringLiteral("delay"));
    m_delay->setFixedWidth(50);
    m_delay->setValidator(new QIntValidator(0, 99999, m_delay));
    afterRow->addWidget(m_delay);
    afterRow->addWidget(new QLabel(QStringLiteral("S"), this));
    grid()->addWidget(formLabel(QStringLiteral("跳转后： "), this), row, 0);
    grid()->addLayout(afterRow, row, 1, 1, 2);
    connect(m_play, &QRadioButton::toggled, this, &DJumpControl::delayRule);
    load();
}

void DJumpControl::delayRule(bool play) {
    m_delay->setEnabled(play);
    if (!play) {
        m_delay->clear();
        return;
    }
    // The stored delay, not whatever was typed before.
    const PlayControlRecord* rec = GConfig::instance().findPlayControl(controlId());
    m_delay->setText(QString::number(rec ? rec->delay : 0));
}

void DJumpControl::loadExtra(const PlayControlRecord& rec) {
    if (rec.jumpMode != 0) {
        m_controlName->setChecked(true);
        m_controlNameValue->setText(rec.targetName);
    } else {
        m_timePos->setChecked(true);
        m_timePosValue->setText(kestrane::msToTimeTextMs(rec.jumpTime));
    }
    if (rec.stayPaused != 0) {
        m_pause->setChecked(true);
        m_delay->setEnabled(false);
    } else {
        m_play->setChecked(true);
        m_delay->setEnabled(true);
        m_delay->setText(QString::number(rec.delay));
    }
}

void DJumpControl::storeExtra(PlayControlRecord& rec) {
    if (m_timePos->isChecked()) {
        rec.jumpMode = 0;
        rec.jumpTime = kestrane::timeTextToMs(m_timePosValue->text().trimmed());
        rec.targetName.clear();
    } else {
        rec.jumpMode = 1;
        rec.targetName = m_controlNameValue->text().trimmed();
        rec.jumpTime = 0;
    }
    if (m_play->isChecked()) {
        rec.stayPaused = 0;
        rec.delay = m_delay->text().trimmed().toInt();
    } else {
        rec.stayPaused = 1;
        rec.delay = 0;
    }
}

int execPlayControlDialog(int id, QWidget* parent) {
    const PlayControlRecord* rec = GConfig::instance().findPlayControl(id);
    if (!rec)
        return QDialog::Rejected;
    switch (rec->type) {
    case 1: return DPlayControl(id, parent).exec();
    case 0: return DPauseControl(id, parent).exec();
    case 2: return DJumpControl(id, parent).exec();
    default: return QDialog::Rejected;
    }
}
