#include "kestrane/axisprompt.h"

#include <QMessageBox>

namespace kestrane::axisprompt {

namespace {
Answerer& answerer() {
    static Answerer a;
    return a;
}
}  // namespace

void setAnswerer(Answerer a) { answerer() = std::move(a); }

void warning(QWidget* parent, const QString& title, const QString& text) {
    if (answerer()) {
        answerer()(Warning, title, text);
        return;
    }
    QMessageBox::warning(parent, title, text, QMessageBox::Ok);
}

bool question(QWidget* parent, const QString& title, const QString& text) {
    if (answerer())
        return answerer()(Question, title, text);
    return QMessageBox::question(parent, title, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) ==
           QMessageBox::Yes;
}

}  // namespace kestrane::axisprompt
