// The media tab of the right sidebar: tab buttons over the media library,
// an effects page and the media property page.
#pragma once

#include <QList>
#include <QWidget>

#include <memory>

class MediaList;
class MediaPanelHooks;
class MediaScrollArea;
class QPushButton;
class QStackedWidget;

class MediaSidebar : public QWidget {
    Q_OBJECT
public:
    explicit MediaSidebar(QWidget* parent = nullptr);
    ~MediaSidebar() override;

    void showMediaAttribute(int mediaId, bool switchPage);
    void showFirstPage();

    MediaList* mediaList() const { return m_mediaList; }
    MediaScrollArea* propertyPanel() const { return m_properties; }
    QStackedWidget* pages() const { return m_pages; }
    QList<QPushButton*> buttons() const { return m_buttons; }

public slots:
    void btClicked();

private:
    void initUi();
    void checkOnly(int index);

    QList<QPushButton*> m_buttons;
    QStackedWidget* m_pages = nullptr;
    MediaScrollArea* m_properties = nullptr;
    MediaList* m_mediaList = nullptr;
    // What the project model asks of the media panels, while no right
    // sidebar answers for them.
    std::unique_ptr<MediaPanelHooks> m_hooks;
};
