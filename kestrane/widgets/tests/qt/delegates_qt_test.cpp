#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QListWidget>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStyleOptionViewItem>
#include <QTest>
#include <memory>

#include "kestrane/delegates.h"
#include "support/QtWidgetTestApp.h"

namespace {

// Sees what the delegates hand to the style: the item options and the focus
// frames the style is asked to draw.
class RecordingStyle : public QProxyStyle {
public:
    RecordingStyle() : QProxyStyle(QStyleFactory::create("Fusion")) {}
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
        if (element == CE_ItemViewItem)
            if (auto* item = qstyleoption_cast<const QStyleOptionViewItem*>(option))
                items.append(*item);
        QProxyStyle::drawControl(element, option, painter, widget);
    }
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override {
        if (element == PE_FrameFocusRect)
            ++focusFrames;
        QProxyStyle::drawPrimitive(element, option, painter, widget);
    }
    const QStyleOptionViewItem* itemFor(const QModelIndex& index) const {
        for (const QStyleOptionViewItem& o : items)
            if (o.index == index)
                return &o;
        return nullptr;
    }
    mutable QVector<QStyleOptionViewItem> items;
    mutable int focusFrames = 0;
};

// A list whose current (not selected) row 1 has the keyboard focus in an
// active window, painted once.
class DelegateView : public ::testing::Test {
protected:
    void SetUp() override {
        view.setStyle(&style);
        QFont font = view.font();
        font.setPixelSize(28);
        font.setBold(true);
        view.setFont(font);
        view.addItems({"WWWW 媒体", "WWWW 文件夹", "WWWW 图片"});
        view.resize(300, 160);
        view.show();
        view.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
        view.setFocus();
        view.selectionModel()->setCurrentIndex(view.model()->index(1, 0), QItemSelectionModel::NoUpdate);
        ASSERT_TRUE(view.hasFocus());
    }
    QImage paint() {
        style.items.clear();
        style.focusFrames = 0;
        return view.grab().toImage().convertToFormat(QImage::Format_RGB32);
    }
    // The darkest grey level of the row's pixels: the core of its text.
    int darkestIn(const QImage& image, int row) {
        const QRect r = view.visualRect(view.model()->index(row, 0)).translated(view.viewport()->pos());
        int darkest = 255;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                darkest = qMin(darkest, qGray(image.pixel(x, y)));
        return darkest;
    }
    QModelIndex row(int r) { return view.model()->index(r, 0); }

    QApplication* app = testApp();  // before the view
    RecordingStyle style;
    QListWidget view;
};

TEST_F(DelegateView, TheFocusDelegatesDropOnlyTheFocusFrame) {
    // The plain delegate draws the frame here, so the set-up really has one.
    paint();
    const QStyleOptionViewItem* plain = style.itemFor(row(1));
    ASSERT_NE(plain, nullptr);
    ASSERT_TRUE(plain->state & QStyle::State_HasFocus);
    ASSERT_GT(style.focusFrames, 0);
    const QStyle::State plainState = plain->state;
    const QPalette plainPalette = plain->palette;

    std::unique_ptr<QStyledItemDelegate> delegates[] = {std::make_unique<NoFocusDelegate>(),
                                                        std::make_unique<DelegateForMediaListComBox>()};
    for (auto& delegate : delegates) {
        view.setItemDelegate(delegate.get());
        paint();
        const QStyleOptionViewItem* o = style.itemFor(row(1));
        ASSERT_NE(o, nullptr);
        EXPECT_EQ(style.focusFrames, 0);
        EXPECT_EQ(o->state, plainState & ~QStyle::State_HasFocus);
        EXPECT_EQ(o->palette, plainPalette);
        EXPECT_EQ(o->text, "WWWW 文件夹");
    }
    view.setItemDelegate(nullptr);
}

TEST_F(DelegateView, AGreyedRowIsGreyInEveryColourGroupWhileItsNeighboursAreNot) {
    const QImage before = paint();
    const int normalText = darkestIn(before, 0);

    DelegateForComboBox grey;
    view.setItemDelegateForRow(1, &grey);
    const QImage image = paint();
    QDir().mkpath(QString::fromLocal8Bit(qgetenv("SV_BINARY_DIR")) + "/artefacts");
    image.save(QString::fromLocal8Bit(qgetenv("SV_BINARY_DIR")) + "/artefacts/delegate_grey_row.png");

    const QStyleOptionViewItem* greyed = style.itemFor(row(1));
    const QStyleOptionViewItem* normal = style.itemFor(row(0));
    ASSERT_NE(greyed, nullptr);
    ASSERT_NE(normal, nullptr);
    ASSERT_TRUE(normal->state & QStyle::State_Active);  // the view is active
    EXPECT_FALSE(greyed->state & QStyle::State_Active);
    EXPECT_FALSE(greyed->state & QStyle::State_HasFocus);
    EXPECT_EQ(style.focusFrames, 0);
    for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        EXPECT_EQ(greyed->palette.brush(g, QPalette::Text), QBrush(QColor("#787878"))) << g;
        EXPECT_NE(normal->palette.color(g, QPalette::Text), QColor("#787878")) << g;
    }

    // On screen: the grey row's strongest ink is the grey itself, the other
    // rows keep their dark text.
    EXPECT_LT(normalText, 0x40);
    EXPECT_LT(darkestIn(image, 0), 0x40);
    EXPECT_LT(darkestIn(image, 2), 0x40);
    EXPECT_NEAR(darkestIn(image, 1), 0x78, 6);
    view.setItemDelegateForRow(1, nullptr);
}

}  // namespace
