// The add-media chooser reports pictures and videos, and nothing else.
#include <gtest/gtest.h>

#include <QPushButton>
#include <QTimer>

#include "kestrane/daddmedia.h"
#include "support/QtWidgetTestApp.h"

namespace {

TEST(DAddMediaTest, OnlyPicturesAndVideosAnswer) {
    testApp();
    int kind = 0;
    DAddMedia dialog(&kind);
    EXPECT_EQ(dialog.windowTitle(), "添加媒体");
    EXPECT_EQ(dialog.size(), QSize(162, 222));
    const struct {
        const char* name;
        const char* text;
        bool enabled;
    } buttons[] = {{"picVideo", "图片、视频", true},      {"text", "文本", false},
                   {"liveVideo", "现场视频", false},      {"virtualDesktop", "虚拟桌面", false},
                   {"dmx512", "DMX512记录", false},       {"mediaDelegate", "媒体代表", false},
                   {"assistTimeAxis", "辅助时间轴", false}};
    for (const auto& b : buttons) {
        auto* button = dialog.findChild<QPushButton*>(b.name);
        ASSERT_NE(button, nullptr) << b.name;
        EXPECT_EQ(button->text(), QString::fromUtf8(b.text));
        EXPECT_EQ(button->isEnabled(), b.enabled) << b.name;
        button->click();  // a disabled button does nothing
    }
    EXPECT_EQ(kind, 1);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST(DAddMediaTest, ClosingLeavesTheKindAlone) {
    testApp();
    const struct {
        const char* what;
        bool choose;
        int result;
        int kind;
    } cases[] = {{"closed", false, QDialog::Rejected, 0}, {"chosen", true, QDialog::Accepted, 1}};
    for (const auto& c : cases) {
        int kind = 0;
        DAddMedia dialog(&kind);
        QTimer::singleShot(0, &dialog, [&] {
            if (c.choose)
                dialog.findChild<QPushButton*>("picVideo")->click();
            else
                dialog.close();
        });
        EXPECT_EQ(dialog.exec(), c.result) << c.what;
        EXPECT_EQ(kind, c.kind) << c.what;
    }
}

}  // namespace
