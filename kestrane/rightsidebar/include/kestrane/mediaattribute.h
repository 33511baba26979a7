// The media property panel: file facts, timeline place, display size and
// stage position of one placed media item. It edits nothing; every fill
// reads the project model anew.
#pragma once

#include <QWidget>

#include <functional>
#include <memory>

namespace Ui {
class MediaAttribute;
}

class MediaAttribute : public QWidget {
    Q_OBJECT
public:
    explicit MediaAttribute(QWidget* parent = nullptr);
    ~MediaAttribute() override;

    // 0 clears the fields; an unknown id leaves them as they are.
    void showMedia(int id);
    void clearInfo();
    int mediaId() const { return m_mediaId; }

    // What opens the file manager at a file (null: the desktop's). Returns the one it replaces.
    using FileShower = std::function<void(const QString& path)>;
    static FileShower setFileShower(FileShower shower);

public slots:
    void openFolder();

private:
    std::unique_ptr<Ui::MediaAttribute> m_ui;
    int m_mediaId = 0;
};
