// The add-media chooser: the operator picks the kind of media to add. Only
// pictures and videos can be chosen; the dialog reports the choice through
// the caller's int and leaves the import to the media library.
#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class DAddMedia;
}

class DAddMedia : public QDialog {
    Q_OBJECT
public:
    // 1 (pictures and videos) is written to *kind on that choice; nothing otherwise.
    explicit DAddMedia(int* kind, QWidget* parent = nullptr);
    ~DAddMedia() override;

public slots:
    void execAddMedia();

private:
    std::unique_ptr<Ui::DAddMedia> m_ui;
    int* m_kind;
};
