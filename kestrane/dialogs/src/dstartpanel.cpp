#include "kestrane/dstartpanel.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QFileInfo>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QSettings>
#include <QUrl>
#include <QVBoxLayout>

#include "kestrane/gconfig.h"
#include "kestrane/prompt.h"
#include "kestrane/radiusbackgroundwidget.h"
#include "kestrane/settings.h"

namespace {

const char* const kHeading = "color:#3bb3c2;font-weight:bold;font-size:13px;";
const char* const kListStyle =
    "QPushButton{border:1px solid #f0f0f0;min-width:80px;text-align:left;color:#666;}"
    "QPushButton:pressed{background:qlineargradient(x1:0,y1:0,x2:0,y2:1,stop:0 #dadbde,stop:1 #f6f7fa);}"
    "QPushButton:hover{background:qlineargradient(x1:0,y1:0,x2:0,y2:1,stop:0 #f6f7fa,stop:1 #dadbde);}"
    "QPushButton:flat{border:none;}";

}  // namespace

DStartPanel::DStartPanel(QString* chosenPath, QWidget* parent)
    : QDialog(parent), m_settings(kestrane::openSettings()), m_chosenPath(chosenPath) {
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_TranslucentBackground);
    setupUi();
    setWindowTitle(QStringLiteral("Kestrane"));
    initPanel();
    connect(findChild<QPushButton*>(QStringLiteral("closeMe2")), &QPushButton::clicked, this, &QDialog::reject);
    connect(findChild<QPushButton*>(QStringLiteral("clseMe")), &QPushButton::clicked, this, &QDialog::reject);
    connect(m_notShowList, &QCheckBox::clicked, this, &DStartPanel::showListSet);
}

DStartPanel::~DStartPanel() = default;

void DStartPanel::setupUi() {
    setObjectName(QStringLiteral("DStartPanel"));
    setFixedSize(512, 521);
    auto* layout = new QVBoxLayout(this);
    layout->setObjectName(QStringLiteral("verticalLayout"));
    layout->setSpacing(0);
    layout->setContentsMargins(5, 5, 5, 5);

    auto* top = new RadiusBackgroundWidget(this);
    top->setObjectName(QStringLiteral("topPanel"));
    top->setFixedHeight(26);
    layout->addWidget(top);
    auto* logo = new QLabel(top);
    logo->setObjectName(QStringLiteral("label_3"));
    logo->setGeometry(7, 0, 13, 21);
    logo->setFixedSize(13, 21);
    logo->setStyleSheet(QStringLiteral("QLabel {background-image:url(:/images/logo_13x21.png)}"));
    auto* welcome = new QLabel(QStringLiteral("欢迎使用Kestrane Beta 1.0.1"), top);
    welcome->setObjectName(QStringLiteral("label_4"));
    welcome->setGeometry(27, 5, 171, 16);
    welcome->setStyleSheet(QStringLiteral("color:#444;"));
    QFont small = welcome->font();
    small.setPixelSize(11);  // the whole greeting fits its 171 pixels
    welcome->setFont(small);
    auto* close = new QPushButton(top);
    close->setObjectName(QStringLiteral("clseMe"));
    close->setGeometry(476, 0, 26, 26);
    close->setFixedSize(26, 26);
    close->setStyleSheet(QStringLiteral("QPushButton{border:0px;background:url(:/images/close_transparent.png);}"
                                        "QPushButton:hover{background:url(:/images/close_red2.png);}"));

    auto* banner = new QWidget(this);
    banner->setObjectName(QStringLiteral("widget_2"));
    banner->setFixedHeight(130);
    banner->setStyleSheet(QStringLiteral("background:url(:/images/startpanel_logo.png)"));
    layout->addWidget(banner);

    auto* body = new QWidget(this);
    body->setObjectName(QStringLiteral("widget_3"));
    layout->addWidget(body);
    auto label = [&](const char* name, const char* text, QRect where) {
        auto* l = new QLabel(QString::fromUtf8(text), body);
        l->setObjectName(QLatin1String(name));
        l->setGeometry(where);
        l->setStyleSheet(QLatin1String(kHeading));
    };
    label("label", "新建", QRect(48, 43, 54, 16));
    label("label_2", "教程", QRect(48, 110, 54, 16));
    auto* projectNew = new QPushButton(QStringLiteral(" New Vadra File"), body);
    projectNew->setObjectName(QStringLiteral("projectNew"));
    projectNew->setGeometry(52, 70, 161, 20);
    projectNew->setStyleSheet(QLatin1String(kListStyle));
    projectNew->setIcon(QIcon(QStringLiteral(":/images/project_ico.png")));
    projectNew->setCursor(Qt::PointingHandCursor);
    auto* openFolderBt = new QPushButton(QStringLiteral(" 打开..."), body);
    openFolderBt->setObjectName(QStringLiteral("openFolder"));
    openFolderBt->setGeometry(277, 40, 80, 20);
    openFolderBt->setStyleSheet(
        QStringLiteral("QPushButton{color:#3bb3c2;font-weight:bold;font-size:13px;border:0px;text-align:left;}"));
    openFolderBt->setIcon(QIcon(QStringLiteral(":/images/project_folder.png")));
    openFolderBt->setCursor(Qt::PointingHandCursor);

    auto* books = new QWidget(body);
    books->setObjectName(QStringLiteral("verticalLayoutWidget"));
    books->setGeometry(50, 130, 171, 131);
    auto* bookLayout = new QVBoxLayout(books);
    bookLayout->setObjectName(QStringLiteral("verticalLayout_2"));
    bookLayout->setSpacing(2);
    bookLayout->setContentsMargins(0, 0, 0, 0);
    for (int i = 1; i <= 5; ++i) {
        auto* b = new QPushButton(books);
        b->setObjectName(QStringLiteral("book%1").arg(i));
        b->setFixedHeight(20);
        b->setMinimumWidth(82);
        b->setStyleSheet(QLatin1String(kListStyle));
        b->setCursor(Qt::PointingHandCursor);
        bookLayout->addWidget(b);
        m_bookButtons.append(b);
    }
    bookLayout->addItem(new QSpacerItem(20, 40, QSizePolicy::Minimum, QSizePolicy::Expanding));

    auto* projects = new QWidget(body);
    projects->setObjectName(QStringLiteral("verticalLayoutWidget_2"));
    projects->setGeometry(280, 60, 191, 211);
    auto* projectLayout = new QVBoxLayout(projects);
    projectLayout->setObjectName(QStringLiteral("verticalLayout_3"));
    projectLayout->setSpacing(10);
    projectLayout->setContentsMargins(0, 8, 0, 0);
    for (int i = 1; i <= 6; ++i) {
        auto* b = new QPushButton(projects);
        b->setObjectName(QStringLiteral("project%1").arg(i));
        b->setFixedHeight(20);
        b->setMinimumWidth(82);
        b->setStyleSheet(QLatin1String(kListStyle));
        b->setIcon(QIcon(QStringLiteral(":/images/project_ico.png")));
        b->setCursor(Qt::PointingHandCursor);
        projectLayout->addWidget(b);
    }
    projectLayout->addItem(new QSpacerItem(20, 40, QSizePolicy::Minimum, QSizePolicy::Expanding));

    auto* closeMe2 = new QPushButton(QStringLiteral("关闭"), body);
    closeMe2->setObjectName(QStringLiteral("closeMe2"));
    closeMe2->setGeometry(370, 310, 101, 21);
    closeMe2->setDefault(true);
    m_notShowList = new QCheckBox(QStringLiteral("不再显示"), body);
    m_notShowList->setObjectName(QStringLiteral("notShowList"));
    // Wider than the form's 73 px: with the console's 12 px text the last
    // character of "不再显示" was cut off. Nothing else lies to its right
    // before "关闭".
    m_notShowList->setGeometry(50, 310, 100, 18);
    m_notShowList->setStyleSheet(QStringLiteral("color:#666;"));
}

void DStartPanel::initPanel() {
    auto* top = findChild<RadiusBackgroundWidget*>(QStringLiteral("topPanel"));
    top->brush = QBrush(QColor(0xf0, 0xf0, 0xf0));
    top->radius = 2;
    top->topLeftRound = true;
    top->topRightRound = true;
    top->dragWindow = this;
    top->dragOffsetX = 5;
    top->dragOffsetY = 5;
    loadHelpBooks();
    loadRecentProjects();
}

void DStartPanel::loadHelpBooks() {
    const QList<kestrane::HelpLink> links = kestrane::readHelpLinks();
    for (int i = 0; i < m_bookButtons.size(); ++i) {
        QPushButton* b = m_bookButtons[i];
        connect(b, &QPushButton::clicked, this, &DStartPanel::openBook);
        b->setText(links.value(i).title);
        b->setProperty("url", links.value(i).url);
    }
}

void DStartPanel::loadRecentProjects() {
    for (int i = 1; i <= 6; ++i) m_projectButtons.append(findChild<QPushButton*>(QStringLiteral("project%1").arg(i)));
    connect(findChild<QPushButton*>(QStringLiteral("openFolder")), &QPushButton::clicked, this,
            &DStartPanel::openFolder);
    connect(findChild<QPushButton*>(QStringLiteral("projectNew")), &QPushButton::clicked, this,
            &DStartPanel::setPrjoect);
    m_notShowList->setChecked(m_settings->value(QStringLiteral("base/showList"), 0).toInt() == 1);
    fillProjectButtons();
    for (QPushButton* b : std::as_const(m_projectButtons))
        connect(b, &QPushButton::clicked, this, &DStartPanel::setPrjoect);
}

void DStartPanel::fillProjectButtons() {
    // Entries that are not two texts (a hand-edited file) are skipped.
    const QList<kestrane::RecentProject> recent =
        kestrane::recentProjectsOf(m_settings->value(QStringLiteral("projects/projectData")).toList());
    for (int i = 0; i < m_projectButtons.size(); ++i) {
        QPushButton* b = m_projectButtons[i];
        if (i < recent.size()) {
            b->setText(recent[i].name);
            b->setProperty("path", recent[i].path);
            b->setToolTip(recent[i].path);
        } else {
            b->setText(QString());
            b->setProperty("path", QString());
        }
        b->setVisible(!b->text().isEmpty());
    }
}

void DStartPanel::setPrjoect() {
    const QString path = sender() ? sender()->property("path").toString() : QString();
    if (!path.isEmpty() && !QFileInfo::exists(path)) {
        kestrane::prompt::warning(this, QStringLiteral("文件操作出错"), QStringLiteral("您打开的项目不存在"));
        GConfig::updateRecentProjects(*m_settings, QString(), path, true);
        m_settings->sync();
        fillProjectButtons();
        return;
    }
    if (m_chosenPath) *m_chosenPath = path;
    GConfig::updateRecentProjects(*m_settings, QFileInfo(path).fileName(), path, false);
    m_settings->sync();
    accept();
}

void DStartPanel::openFolder() {
    const QString path = kestrane::prompt::openFileName(this, QStringLiteral("打开Kestrane项目"), QString(),
                                                        QStringLiteral("Vadra(*.vadra)"));
    if (path.isEmpty()) return;
    if (m_chosenPath) *m_chosenPath = path;
    GConfig::updateRecentProjects(*m_settings, QFileInfo(path).fileName(), path, false);
    m_settings->sync();
    accept();
}

void DStartPanel::openBook() {
    const QString url = sender() ? sender()->property("url").toString() : QString();
    if (!url.isEmpty()) QDesktopServices::openUrl(QUrl(url, QUrl::TolerantMode));
}

void DStartPanel::showListSet() {
    m_settings->setValue(QStringLiteral("base/showList"), m_notShowList->isChecked() ? 1 : 0);
    m_settings->sync();
}

void DStartPanel::paintEvent(QPaintEvent* /*event*/) {
    const int s = m_shadowWidth;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath card;
    card.addRoundedRect(QRectF(s, s, width() - 2 * s, height() - 2 * s), 3.0, 3.0);
    painter.fillPath(card, m_colour);
    for (int i = 0; i < s; ++i) {
        QPainterPath ring;
        ring.setFillRule(Qt::WindingFill);
        const double r = (1.0 + 0.1 * i) * 3.0;
        ring.addRoundedRect(QRectF(s - i, s - i, width() - 2 * (s - i), height() - 2 * (s - i)), r, r);
        painter.setPen(QColor(0, 0, 0, m_alphas.value(i)));
        painter.drawPath(ring);
    }
}
