// Every message box and file dialog of the console goes through these
// functions. By default they are Qt's static dialogs; a provider installed
// with setPromptProvider answers instead (the tests script the operator's
// answers that way).
#pragma once

#include <QFileDialog>
#include <QMessageBox>
#include <QString>
#include <QStringList>

class QWidget;

namespace kestrane {

struct PromptRequest {
    enum Kind { Warning, Question, Information, OpenFile, OpenFiles, SaveFile, Directory };

    Kind kind = Warning;
    QWidget* parent = nullptr;
    QString title;  // box title or dialog caption
    // Message boxes.
    QString text;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    // File dialogs.
    QString dir;
    QString filter;
    QFileDialog::Options options;

    bool isMessage() const { return kind == Warning || kind == Question || kind == Information; }
};

struct PromptAnswer {
    QMessageBox::StandardButton button = QMessageBox::NoButton;  // message boxes
    QStringList paths;  // file dialogs: empty when cancelled; one path except for OpenFiles
};

class PromptProvider {
public:
    virtual ~PromptProvider() = default;
    virtual PromptAnswer ask(const PromptRequest& request) = 0;
};

// Installs `provider` (not owned) and returns the one it replaces; nullptr
// goes back to Qt's dialogs.
PromptProvider* setPromptProvider(PromptProvider* provider);
PromptProvider* promptProvider();

// A readable one-line account of a request, for logs and test failures.
QString describePrompt(const PromptRequest& request);

namespace prompt {

QMessageBox::StandardButton warning(QWidget* parent, const QString& title, const QString& text,
                                    QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
QMessageBox::StandardButton question(QWidget* parent, const QString& title, const QString& text,
                                     QMessageBox::StandardButtons buttons = QMessageBox::Yes | QMessageBox::No,
                                     QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
QMessageBox::StandardButton information(QWidget* parent, const QString& title, const QString& text,
                                        QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);

// A warning that waits for nobody: the box is shown and the call returns at
// once (an installed provider is asked as for warning, and its answer is
// not used). For what happens while a show runs unattended.
void notice(QWidget* parent, const QString& title, const QString& text);

// Each gives an empty answer when the operator cancels.
QString openFileName(QWidget* parent, const QString& caption, const QString& dir = QString(),
                     const QString& filter = QString(), QFileDialog::Options options = {});
QStringList openFileNames(QWidget* parent, const QString& caption, const QString& dir = QString(),
                          const QString& filter = QString(), QFileDialog::Options options = {});
QString saveFileName(QWidget* parent, const QString& caption, const QString& dir = QString(),
                     const QString& filter = QString(), QFileDialog::Options options = {});
QString existingDirectory(QWidget* parent, const QString& caption, const QString& dir = QString(),
                          QFileDialog::Options options = QFileDialog::ShowDirsOnly);

}  // namespace prompt
}  // namespace kestrane
