#include <QDir>
#include <QFile>
#include <QImage>
#include <QPixmap>
#include <QStackedWidget>

#include "kestrane/devicesidebar.h"
#include "kestrane/devicelist.h"
#include "kestrane/devicetree.h"
#include "kestrane/rightsidebar.h"
#include "support/ProjectTest.h"
#include "support/QtSpin.h"

namespace {

class PanelScreenshot : public ProjectTest {};

QImage saved(QWidget& w, const char* name) {
    const QImage image = w.grab().toImage();
    QDir().mkpath(QStringLiteral(SV_BINARY_DIR "/artefacts"));
    EXPECT_TRUE(image.save(QStringLiteral(SV_BINARY_DIR "/artefacts/") + QLatin1String(name)));
    return image;
}

TEST_F(PanelScreenshot, DeviceTabWithFoldersAndASelectedDevice) {
    QFile qss(QStringLiteral(SV_SOURCE_DIR "/kestrane/app/qss.css"));
    ASSERT_TRUE(qss.open(QIODevice::ReadOnly));
    RightSidebar bar;
    bar.setStyleSheet(QString::fromUtf8(qss.readAll()));
    bar.resize(260, 420);
    bar.show();
    bar.showDeviceTab();
    DeviceTree* tree = bar.deviceSidebar()->deviceList()->tree();
    QTreeWidgetItem* hall = tree->insertFolderItem(nullptr, q("大厅"), -1, false);
    hall->setExpanded(true);
    for (int id = 1; id <= 3; ++id) {
        addRecord(id, q("显示%1").arg(id), q("10.0.0.1"), id);
        tree->insertDeviceItem(id, hall, false, 0);
    }
    addRecord(4, q("门厅"), q("10.0.0.2"));
    tree->insertDeviceItem(4, nullptr, false, 0);
    tree->insertFolderItem(nullptr, q("备用"), -1, false);
    QCoreApplication::processEvents();
    tree->clearSelection();
    QTreeWidgetItem* selected = tree->findItemById(2);
    selected->setSelected(true);
    QCoreApplication::processEvents();

    const QImage image = saved(bar, "device_tab.png");
    const QRect row = tree->visualItemRect(selected);
    const QPoint inRow = tree->viewport()->mapTo(&bar, QPoint(row.right() - 20, row.center().y()));
    EXPECT_EQ(image.pixelColor(inRow).name(), QStringLiteral("#4b5367"));
    const QRect other = tree->visualItemRect(tree->findItemById(1));
    const QPoint inOther = tree->viewport()->mapTo(&bar, QPoint(other.right() - 20, other.center().y()));
    EXPECT_EQ(image.pixelColor(inOther).name(), QStringLiteral("#343434"));

    // The property page of the same device.
    bar.showDeviceAttribute(2, true);
    QCoreApplication::processEvents();
    EXPECT_EQ(bar.deviceSidebar()->stack()->currentIndex(), 1);
    const QImage panel = saved(bar, "device_properties.png");
    EXPECT_EQ(panel.pixelColor(panel.width() / 2, panel.height() - 60).name(), QStringLiteral("#343434"));
}

}  // namespace
