// The stage's context menus run through one function, so that whoever
// embeds the stage (or a test) can choose the entry instead of an operator.
#pragma once

#include <QPoint>

#include <functional>

class QAction;
class QMenu;

namespace stage {

// Given the built menu and where it opens; answers the chosen action or null.
using MenuRunner = std::function<QAction*(QMenu* menu, const QPoint& globalPos)>;

// Installs a runner (empty: QMenu::exec) and returns the previous one.
MenuRunner setMenuRunner(MenuRunner runner);
QAction* runMenu(QMenu* menu, const QPoint& globalPos);

}  // namespace stage
