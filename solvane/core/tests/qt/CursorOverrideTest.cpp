// Hiding the cursor puts a blank cursor over the application's windows and
// showing it takes exactly that one away again.
#include <QCursor>
#include <QGuiApplication>

#include <gtest/gtest.h>

#include "core/MediaManager.h"
#include "support/support.h"

namespace {

Qt::CursorShape OverrideShape() {
    const QCursor* c = QGuiApplication::overrideCursor();
    return c ? c->shape() : Qt::ArrowCursor;
}

TEST(CursorOverride, HideAndShowOnTheGuiThread) {
    int argc = 1;
    char name[] = "cursor-test";
    char* argv[] = {name, nullptr};
    QGuiApplication app(argc, argv);
    testsupport::TempDir dir;
    CMediaManager core(dir.str());

    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));  // someone else's
    core.ShowMouseCursor(1);
    EXPECT_EQ(OverrideShape(), Qt::BlankCursor);
    core.ShowMouseCursor(1);
    core.ShowMouseCursor(0);
    EXPECT_EQ(OverrideShape(), Qt::WaitCursor);
    core.ShowMouseCursor(0);
    EXPECT_EQ(OverrideShape(), Qt::WaitCursor);
    QGuiApplication::restoreOverrideCursor();
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

}  // namespace
