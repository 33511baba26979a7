// One widget application for the whole test program, and small helpers for
// waiting on the Qt main thread.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QMessageBox>
#include <QWidget>

#include <chrono>
#include <functional>
#include <string>

#include "support/support.h"

namespace guitest {

// Processes events until pred holds or the deadline passes. A test calls
// widgets directly rather than from inside an event, so objects it closes
// are removed here explicitly, as the program's loop does after a click.
inline bool WaitEvents(const std::function<bool()>& pred,
                       std::chrono::milliseconds deadline = std::chrono::seconds(5)) {
    return testsupport::WaitUntil(
        [&] {
            QCoreApplication::processEvents();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            return pred();
        },
        deadline);
}

inline std::string Text(const QString& s) { return s.toUtf8().toStdString(); }

// Presses a standard button of an open message box.
inline void Press(QMessageBox* box, QMessageBox::StandardButton which) {
    ASSERT_NE(box, nullptr);
    QAbstractButton* button = box->button(which);
    ASSERT_NE(button, nullptr);
    button->click();
}

}  // namespace guitest
