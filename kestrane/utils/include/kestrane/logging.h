// The console's diagnostics. Its own lines go to the "kestrane" category,
// which shows warnings and errors only; the environment variable
// QT_LOGGING_RULES="kestrane.debug=true" turns on every level, the plain
// qDebug and qInfo lines of the console included.
#pragma once

#include <QDebug>
#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcKestrane)

namespace kestrane {

// The file name of a source path, without its folders: log lines carry no
// paths of the machine the console was built on.
constexpr const char* sourceName(const char* path) {
    const char* name = path;
    for (const char* p = path; *p; ++p)
        if (*p == '/' || *p == '\\') name = p + 1;
    return name;
}

// Sets the filter rules and the message pattern; call once, after the
// application object exists.
void installLogging();

}  // namespace kestrane

// A debug line of the console with the source file and line it comes from.
// Unlike qCDebug, its operands are evaluated whether the line is printed or
// not: call sites send commands to the servers inside the line.
#define KESTRANE_DEBUG_HERE                                                                 \
    QMessageLogger(QT_MESSAGELOG_FILE, QT_MESSAGELOG_LINE, QT_MESSAGELOG_FUNC).debug(lcKestrane()).noquote() \
        << kestrane::sourceName(__FILE__) << __LINE__
