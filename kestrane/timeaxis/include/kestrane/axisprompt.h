// Questions and warnings of the time axis. They show message boxes unless
// an answerer is installed (tests script the answers).
#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace kestrane::axisprompt {

enum Kind { Warning = 0, Question = 1 };
// Returns true for Yes (questions) and is ignored for warnings.
using Answerer = std::function<bool(int kind, const QString& title, const QString& text)>;
void setAnswerer(Answerer answerer);

// A warning with one OK button.
void warning(QWidget* parent, const QString& title, const QString& text);
// Yes or No, No by default; true for Yes.
bool question(QWidget* parent, const QString& title, const QString& text);

}  // namespace kestrane::axisprompt
