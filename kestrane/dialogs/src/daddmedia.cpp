#include "kestrane/daddmedia.h"

#include "ui_daddmedia.h"

DAddMedia::DAddMedia(int* kind, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::DAddMedia>()), m_kind(kind) {
    m_ui->setupUi(this);
    setWindowTitle(QStringLiteral("添加媒体"));
    setFixedSize(162, 222);
    for (QPushButton* b : {m_ui->text, m_ui->liveVideo, m_ui->virtualDesktop, m_ui->dmx512, m_ui->mediaDelegate,
                           m_ui->assistTimeAxis})
        b->setEnabled(false);
    connect(m_ui->picVideo, &QPushButton::clicked, this, &DAddMedia::execAddMedia);
}

DAddMedia::~DAddMedia() = default;

void DAddMedia::execAddMedia() {
    if (sender() && sender()->objectName() == QLatin1String("picVideo") && m_kind) *m_kind = 1;
    accept();
}
