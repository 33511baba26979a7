#include <QDataStream>
#include <QDropEvent>
#include <QMimeData>
#include <QTest>

#include "kestrane/devicetree.h"
#include "support/ProjectTest.h"

namespace {

class DeviceTreeTest : public ProjectTest {
protected:
    void SetUp() override {
        ProjectTest::SetUp();
        tree = std::make_unique<DeviceTree>();
        tree->resize(240, 600);
        tree->show();
    }
    void TearDown() override {
        tree.reset();
        ProjectTest::TearDown();
    }
    QTreeWidgetItem* device(int id, const QString& name, QTreeWidgetItem* reference = nullptr) {
        addRecord(id, name);
        return tree->insertDeviceItem(id, reference, false, 0);
    }
    QTreeWidgetItem* folder(QTreeWidgetItem* reference = nullptr, const QString& name = QString()) {
        return tree->insertFolderItem(reference, name, -1, false);
    }
    QList<int> path(QTreeWidgetItem* item) {
        QList<int> p;
        DeviceTree::itemPath(item, p);
        return p;
    }
    // The drop place at a fraction of a row's height.
    QPoint at(QTreeWidgetItem* item, double fraction) {
        const QRect r = tree->visualItemRect(item);
        return QPoint(20, r.top() + int(fraction * r.height()));
    }
    // Names in display order with their depth, "  " per level.
    QStringList outline(QTreeWidgetItem* parent = nullptr, int depth = 0) {
        QStringList out;
        const int n = parent ? parent->childCount() : tree->topLevelItemCount();
        for (int i = 0; i < n; ++i) {
            QTreeWidgetItem* c = parent ? parent->child(i) : tree->topLevelItem(i);
            if (DeviceTree::itemId(c) == 0) continue;
            out << QString(depth * 2, QLatin1Char(' ')) + c->text(0);
            out += outline(c, depth + 1);
        }
        return out;
    }

    std::unique_ptr<DeviceTree> tree;
};

TEST_F(DeviceTreeTest, NewItemsGoWhereTheOperatorIs) {
    QTreeWidgetItem* a = device(1, q("A"));
    EXPECT_EQ(path(a), (QList<int>{0}));
    QTreeWidgetItem* f = folder();  // none selected: top, index 0
    EXPECT_EQ(outline(), (QStringList{q("分组1"), q("A")}));
    EXPECT_EQ(f->childCount(), 1);  // the placeholder only
    EXPECT_TRUE(f->child(0)->isDisabled());

    f->setExpanded(false);
    device(2, q("B"), f);  // collapsed folder: before it
    EXPECT_EQ(outline(), (QStringList{q("B"), q("分组1"), q("A")}));
    f->setExpanded(true);
    QTreeWidgetItem* c = device(3, q("C"), f);  // expanded folder: first child
    EXPECT_EQ(c->parent(), f);
    EXPECT_EQ(f->indexOfChild(c), 0);
    EXPECT_TRUE(f->isExpanded());
    EXPECT_EQ(GConfig::instance().device(3)->folderId, DeviceTree::itemId(f));
    device(4, q("D"), c);  // device: before it, in its folder
    EXPECT_EQ(outline(), (QStringList{q("B"), q("分组1"), q("  D"), q("  C"), q("A")}));
    EXPECT_EQ(GConfig::instance().device(4)->treeItem, tree->findItemById(4));
    EXPECT_FALSE(GConfig::instance().isSaved());
}

TEST_F(DeviceTreeTest, DefaultAndUniqueNames) {
    GConfig& c = GConfig::instance();
    EXPECT_EQ(tree->nextFolderName(), q("分组1"));
    c.deviceFolders = {{q("分组1"), 1, 0, false}, {q("我的分组5"), 2, 0, false}};
    EXPECT_EQ(tree->nextFolderName(), q("分组6"));

    struct Case {
        QStringList taken;
        QString name;
        QString expect;
    };
    const Case cases[] = {
        {{q("A")}, q("A"), q("A(2)")},
        {{q("A"), q("A(2)")}, q("A"), q("A(3)")},
        {{q("A(9)")}, q("A(9)"), q("A(10)")},
        {{q("B")}, q("A"), q("A")},
        // A bracketed number inside the name is part of it, not a counter.
        {{q("Proj (1) left")}, q("Proj (1) left"), q("Proj (1) left(2)")},
        {{q("Proj (1) left"), q("Proj (1) left(2)")}, q("Proj (1) left"), q("Proj (1) left(3)")},
        {{q("Proj (1)")}, q("Proj (1)"), q("Proj (2)")},
    };
    for (const Case& k : cases) {
        c.devices().clear();
        int id = 10;
        for (const QString& n : k.taken) addRecord(id++, n);
        EXPECT_EQ(tree->uniqueName(k.name, 1, 1), k.expect) << k.name.toStdString();
    }
}

TEST_F(DeviceTreeTest, RenamingInPlace) {
    QTreeWidgetItem* a = device(1, q("A"));
    device(2, q("B"));
    QTreeWidgetItem* f = folder();
    a->setText(0, q("B"));  // another device's name: made unique
    EXPECT_EQ(a->text(0), q("B(2)"));
    EXPECT_EQ(GConfig::instance().device(1)->name, q("B(2)"));
    f->setText(0, q("B"));  // a folder may carry a device's name
    EXPECT_EQ(f->text(0), q("B"));
    EXPECT_EQ(GConfig::instance().deviceFolders.first().name, q("B"));
    a->setText(0, q("   "));  // blanks: the old name comes back
    EXPECT_EQ(a->text(0), q("B(2)"));
    EXPECT_EQ(GConfig::instance().device(1)->name, q("B(2)"));
}

TEST_F(DeviceTreeTest, SavedTreeComesBackTheSame) {
    GConfig& c = GConfig::instance();
    // Top: device 1, folder 1 (open) holding device 2 and sub-folder 2
    // (closed, holding device 3), folder 3 sharing its id with device 3.
    QTreeWidgetItem* top = folder(nullptr, q("外"));
    top->setExpanded(true);
    QTreeWidgetItem* sub = folder(top, q("内"));
    sub->setExpanded(true);
    device(3, q("C"), sub);
    sub->setExpanded(false);
    device(2, q("B"), top);
    QTreeWidgetItem* third = folder(nullptr, q("三"));
    ASSERT_EQ(DeviceTree::itemId(third), 3);
    device(1, q("A"));
    QTreeWidgetItem* gone = folder(sub, q("删"));  // removed before saving
    tree->removeFolderItem(gone);

    const QStringList before = outline();
    QMap<int, int> folders, devices;
    tree->collectTreeOrder(folders, devices);
    // The project file keeps the maps as data streams of this version.
    QByteArray bytes;
    {
        QDataStream out(&bytes, QIODevice::WriteOnly);
        out.setVersion(kestrane::kBlobStreamVersion);
        out << folders << devices;
    }
    QList<DeviceFolderRecord> records = c.deviceFolders;
    ASSERT_EQ(records.size(), 3);

    tree->clearTree();
    QMap<int, int> savedFolders, savedDevices;
    QDataStream in(bytes);
    in.setVersion(kestrane::kBlobStreamVersion);
    in >> savedFolders >> savedDevices;
    c.deviceFolders = records;
    QList<DeviceFolderRecord> pending = records;
    tree->loadTree(pending, savedFolders, nullptr, 0);
    QList<int> ids = c.deviceIds();
    std::stable_sort(ids.begin(), ids.end(),
                     [&](int a, int b) { return savedDevices.value(a, 0) > savedDevices.value(b, 0); });
    for (int id : ids) tree->insertDeviceItem(id, nullptr, true, c.device(id)->folderId);
    tree->restoreExpandState();

    EXPECT_EQ(outline(), before);
    QMap<int, int> folders2, devices2;
    tree->collectTreeOrder(folders2, devices2);
    EXPECT_EQ(folders2, folders);
    EXPECT_EQ(devices2, devices);
    EXPECT_TRUE(tree->findFolderItem(1)->isExpanded());
    EXPECT_FALSE(tree->findFolderItem(2)->isExpanded());  // closed although a device went into it
    EXPECT_EQ(tree->findFolderItem(3)->text(0), q("三"));
    EXPECT_EQ(tree->findItemById(3)->text(0), q("C"));
    EXPECT_EQ(tree->findFolderItem(4), nullptr);
    for (const DeviceFolderRecord& f : std::as_const(c.deviceFolders)) EXPECT_NE(f.id, 4);
}

TEST_F(DeviceTreeTest, RemovedFolderTakesItsSubFolderRecords) {
    QTreeWidgetItem* f = folder();
    f->setExpanded(true);
    folder(f);
    ASSERT_EQ(GConfig::instance().deviceFolders.size(), 2);
    tree->removeFolderItem(f);
    EXPECT_TRUE(GConfig::instance().deviceFolders.isEmpty());
    EXPECT_EQ(tree->topLevelItemCount(), 0);
    // A new folder gets a fresh id and nothing returns under it.
    QTreeWidgetItem* again = folder();
    EXPECT_EQ(DeviceTree::itemId(again), 1);
    EXPECT_EQ(again->childCount(), 1);
}

TEST_F(DeviceTreeTest, DropPlacesByThirdsAndHalves) {
    QTreeWidgetItem* a = device(1, q("A"));
    QTreeWidgetItem* f = folder();
    struct Case {
        QTreeWidgetItem* row;
        double fraction;
        int mode;
    };
    const Case cases[] = {
        {f, 0.1, DeviceTree::DropBefore}, {f, 0.5, DeviceTree::DropInto}, {f, 0.9, DeviceTree::DropAfter},
        {a, 0.3, DeviceTree::DropBefore}, {a, 0.7, DeviceTree::DropAfter},
    };
    for (const Case& c : cases) {
        QTreeWidgetItem* target = nullptr;
        QRect line;
        EXPECT_EQ(tree->dropPlace(at(c.row, c.fraction), {}, &target, &line), c.mode) << c.fraction;
        EXPECT_EQ(target, c.row);
    }
    // Nothing on a dragged row, inside a dragged folder, or below the rows.
    EXPECT_EQ(tree->dropPlace(at(a, 0.5), {a}, nullptr, nullptr), 0);
    EXPECT_EQ(tree->dropPlace(QPoint(20, 590), {}, nullptr, nullptr), 0);
}

TEST_F(DeviceTreeTest, MovesKeepFoldersAndOrder) {
    QTreeWidgetItem* f = folder(nullptr, q("F"));
    f->setExpanded(true);
    QTreeWidgetItem* x = device(1, q("X"), f);
    QTreeWidgetItem* y = device(2, q("Y"));
    QTreeWidgetItem* z = device(3, q("Z"));
    ASSERT_EQ(outline(), (QStringList{q("Z"), q("Y"), q("F"), q("  X")}));

    // After the last device of a folder: stays inside, ahead of the placeholder.
    tree->moveItems(x, {z}, DeviceTree::DropAfter);
    EXPECT_EQ(outline(), (QStringList{q("Y"), q("F"), q("  X"), q("  Z")}));
    EXPECT_EQ(GConfig::instance().device(3)->folderId, DeviceTree::itemId(f));
    EXPECT_TRUE(f->child(f->childCount() - 1)->isDisabled());
    EXPECT_TRUE(z->isSelected());

    // Onto the row just above, lower half: no change.
    tree->moveItems(x, {z}, DeviceTree::DropAfter);
    EXPECT_EQ(outline(), (QStringList{q("Y"), q("F"), q("  X"), q("  Z")}));

    // A folder never into itself or its own descendants.
    tree->moveItems(x, {f}, DeviceTree::DropBefore);
    tree->moveItems(f, {f}, DeviceTree::DropInto);
    EXPECT_EQ(outline(), (QStringList{q("Y"), q("F"), q("  X"), q("  Z")}));

    // Into a collapsed folder: at its top, and it opens; the top level after the last row.
    f->setExpanded(false);
    tree->moveItems(f, {y}, DeviceTree::DropInto);
    EXPECT_EQ(outline(), (QStringList{q("F"), q("  Y"), q("  X"), q("  Z")}));
    EXPECT_TRUE(f->isExpanded());
    tree->moveItems(f, {x, z}, DeviceTree::DropBefore);
    EXPECT_EQ(outline(), (QStringList{q("X"), q("Z"), q("F"), q("  Y")}));
    EXPECT_EQ(GConfig::instance().device(1)->folderId, 0);

    // A moved folder keeps its expanded state.
    tree->moveItems(x, {f}, DeviceTree::DropBefore);
    EXPECT_EQ(outline(), (QStringList{q("F"), q("  Y"), q("X"), q("Z")}));
    EXPECT_TRUE(f->isExpanded());
}

TEST_F(DeviceTreeTest, ARealDropMovesTheDraggedRows) {
    QTreeWidgetItem* a = device(1, q("A"));
    QTreeWidgetItem* b = device(2, q("B"));
    ASSERT_EQ(outline(), (QStringList{q("B"), q("A")}));
    QMimeData mime;
    mime.setProperty("dragType", QStringLiteral("device"));
    mime.setProperty("data", QVariant::fromValue(QList<QTreeWidgetItem*>{b}));
    QDragEnterEvent enter(at(a, 0.8), Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(tree->viewport(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDragMoveEvent move(at(a, 0.8), Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(tree->viewport(), &move);
    EXPECT_TRUE(tree->dropIndicator()->isVisible());
    EXPECT_EQ(tree->dropIndicator()->geometry().height(), 1);  // a line below the row
    QDropEvent drop(at(a, 0.8), Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(tree->viewport(), &drop);
    EXPECT_FALSE(tree->dropIndicator()->isVisible());
    EXPECT_EQ(outline(), (QStringList{q("A"), q("B")}));

    // A drag from elsewhere (no marker) is not dropped.
    QMimeData files;
    files.setText(QStringLiteral("file:///tmp/x.png"));
    QDropEvent foreign(at(b, 0.8), Qt::MoveAction, &files, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(tree->viewport(), &foreign);
    EXPECT_EQ(outline(), (QStringList{q("A"), q("B")}));
}

TEST_F(DeviceTreeTest, ClicksSelectWithCtrlAndShift) {
    QTreeWidgetItem* d = device(4, q("D"));
    QTreeWidgetItem* c = device(3, q("C"));
    QTreeWidgetItem* b = device(2, q("B"));
    QTreeWidgetItem* a = device(1, q("A"));
    QCoreApplication::processEvents();
    auto click = [&](QTreeWidgetItem* item, Qt::KeyboardModifiers mods) {
        const QPoint p = tree->visualItemRect(item).center();
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, mods, p);
    };
    click(a, Qt::NoModifier);
    click(c, Qt::ShiftModifier);
    EXPECT_EQ(tree->selectedInTreeOrder(), (QList<QTreeWidgetItem*>{a, b, c}));
    click(d, Qt::ControlModifier);
    EXPECT_EQ(tree->selectedItems().size(), 4);

    // The anchor's item is deleted: a Shift click only adds its row.
    click(b, Qt::NoModifier);
    EXPECT_EQ(tree->selectedItems(), (QList<QTreeWidgetItem*>{b}));
    tree->removeItemById(2);
    tree->clearSelection();
    click(d, Qt::ShiftModifier);
    EXPECT_EQ(tree->selectedItems(), (QList<QTreeWidgetItem*>{d}));
}

TEST_F(DeviceTreeTest, NestedSelectionsAreReducedOnce) {
    QTreeWidgetItem* f = folder(nullptr, q("F"));
    f->setExpanded(true);
    QTreeWidgetItem* sub = folder(f, q("S"));
    sub->setExpanded(true);
    QTreeWidgetItem* deep = device(1, q("deep"), sub);
    QTreeWidgetItem* inF = device(2, q("inF"), f);
    QList<QTreeWidgetItem*> items{f, inF, sub, deep};
    tree->normaliseSelection(items);  // for moves: the sub-folder stays listed
    EXPECT_EQ(items, (QList<QTreeWidgetItem*>{f, sub}));
    items = {f, deep, sub, inF};
    DeviceTree::dropNestedItems(items);  // for deletion: only the outermost
    EXPECT_EQ(items, (QList<QTreeWidgetItem*>{f}));
    EXPECT_EQ(tree->collectDeviceItems(f), (QList<QTreeWidgetItem*>{inF, deep}));
    EXPECT_TRUE(tree->containsDevice(sub));
    tree->removeItemById(1);
    EXPECT_FALSE(tree->containsDevice(sub));
}

}  // namespace
