#include "kestrane/logging.h"

#include <QString>

Q_LOGGING_CATEGORY(lcKestrane, "kestrane", QtWarningMsg)

namespace kestrane {

void installLogging() {
    // The console's plain qDebug and qInfo lines are quiet with its own
    // category; rules from the environment are applied after these, so the
    // one switch there decides for both.
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false\ndefault.info=false"));
    if (lcKestrane().isDebugEnabled() || lcKestrane().isInfoEnabled()) QLoggingCategory::setFilterRules(QString());
    qSetMessagePattern(QStringLiteral("%{time yyyy-MM-dd hh:mm:ss.zzz} %{if-category}%{category} %{endif}%{type}: "
                                      "%{message}"));
}

}  // namespace kestrane
