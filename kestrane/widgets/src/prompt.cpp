#include "kestrane/prompt.h"

#include <QGuiApplication>

namespace kestrane {
namespace {

PromptProvider* g_provider = nullptr;

PromptAnswer askQt(const PromptRequest& r) {
    // Nobody can answer a modal dialog on the offscreen platform: it would
    // wait for ever. Stop with the question instead.
    if (QGuiApplication::platformName() == QLatin1String("offscreen"))
        qFatal("unanswerable dialog on the offscreen platform: %s", qPrintable(describePrompt(r)));

    PromptAnswer a;
    switch (r.kind) {
    case PromptRequest::Warning:
        a.button = QMessageBox::warning(r.parent, r.title, r.text, r.buttons, r.defaultButton);
        break;
    case PromptRequest::Question:
        a.button = QMessageBox::question(r.parent, r.title, r.text, r.buttons, r.defaultButton);
        break;
    case PromptRequest::Information:
        a.button = QMessageBox::information(r.parent, r.title, r.text, r.buttons, r.defaultButton);
        break;
    case PromptRequest::OpenFile:
        a.paths << QFileDialog::getOpenFileName(r.parent, r.title, r.dir, r.filter, nullptr, r.options);
        break;
    case PromptRequest::OpenFiles:
        a.paths = QFileDialog::getOpenFileNames(r.parent, r.title, r.dir, r.filter, nullptr, r.options);
        break;
    case PromptRequest::SaveFile:
        a.paths << QFileDialog::getSaveFileName(r.parent, r.title, r.dir, r.filter, nullptr, r.options);
        break;
    case PromptRequest::Directory:
        a.paths << QFileDialog::getExistingDirectory(r.parent, r.title, r.dir, r.options);
        break;
    }
    return a;
}

PromptAnswer ask(const PromptRequest& r) {
    return g_provider ? g_provider->ask(r) : askQt(r);
}

QMessageBox::StandardButton message(PromptRequest::Kind kind, QWidget* parent, const QString& title,
                                    const QString& text, QMessageBox::StandardButtons buttons,
                                    QMessageBox::StandardButton defaultButton) {
    PromptRequest r;
    r.kind = kind;
    r.parent = parent;
    r.title = title;
    r.text = text;
    r.buttons = buttons;
    r.defaultButton = defaultButton;
    return ask(r).button;
}

QStringList files(PromptRequest::Kind kind, QWidget* parent, const QString& caption, const QString& dir,
                  const QString& filter, QFileDialog::Options options) {
    PromptRequest r;
    r.kind = kind;
    r.parent = parent;
    r.title = caption;
    r.dir = dir;
    r.filter = filter;
    r.options = options;
    QStringList paths = ask(r).paths;
    paths.removeAll(QString());
    return paths;
}

QString firstOf(const QStringList& paths) { return paths.isEmpty() ? QString() : paths.first(); }

}  // namespace

PromptProvider* setPromptProvider(PromptProvider* provider) {
    PromptProvider* previous = g_provider;
    g_provider = provider;
    return previous;
}

PromptProvider* promptProvider() { return g_provider; }

QString describePrompt(const PromptRequest& r) {
    static const char* const kinds[] = {"warning", "question", "information", "open file",
                                        "open files", "save file", "folder"};
    QString s = QStringLiteral("%1 \"%2\"").arg(QLatin1String(kinds[r.kind]), r.title);
    if (r.isMessage())
        s += QStringLiteral(": \"%1\"").arg(r.text);
    else if (!r.filter.isEmpty())
        s += QStringLiteral(" filter \"%1\"").arg(r.filter);
    return s;
}

namespace prompt {

QMessageBox::StandardButton warning(QWidget* parent, const QString& title, const QString& text,
                                    QMessageBox::StandardButtons buttons,
                                    QMessageBox::StandardButton defaultButton) {
    return message(PromptRequest::Warning, parent, title, text, buttons, defaultButton);
}

void notice(QWidget* parent, const QString& title, const QString& text) {
    if (g_provider) {
        PromptRequest r;
        r.kind = PromptRequest::Warning;
        r.parent = parent;
        r.title = title;
        r.text = text;
        (void)g_provider->ask(r);
        return;
    }
    auto* box = new QMessageBox(QMessageBox::Warning, title, text, QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
}

QMessageBox::StandardButton question(QWidget* parent, const QString& title, const QString& text,
                                     QMessageBox::StandardButtons buttons,
                                     QMessageBox::StandardButton defaultButton) {
    return message(PromptRequest::Question, parent, title, text, buttons, defaultButton);
}

QMessageBox::StandardButton information(QWidget* parent, const QString& title, const QString& text,
                                        QMessageBox::StandardButtons buttons,
                                        QMessageBox::StandardButton defaultButton) {
    return message(PromptRequest::Information, parent, title, text, buttons, defaultButton);
}

QString openFileName(QWidget* parent, const QString& caption, const QString& dir, const QString& filter,
                     QFileDialog::Options options) {
    return firstOf(files(PromptRequest::OpenFile, parent, caption, dir, filter, options));
}

QStringList openFileNames(QWidget* parent, const QString& caption, const QString& dir, const QString& filter,
                          QFileDialog::Options options) {
    return files(PromptRequest::OpenFiles, parent, caption, dir, filter, options);
}

QString saveFileName(QWidget* parent, const QString& caption, const QString& dir, const QString& filter,
                     QFileDialog::Options options) {
    return firstOf(files(PromptRequest::SaveFile, parent, caption, dir, filter, options));
}

QString existingDirectory(QWidget* parent, const QString& caption, const QString& dir,
                          QFileDialog::Options options) {
    return firstOf(files(PromptRequest::Directory, parent, caption, dir, QString(), options));
}

}  // namespace prompt
}  // namespace kestrane
