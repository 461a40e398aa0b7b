#pragma once

#include <QPoint>
#include <QWidget>

class QMenu;
class QTabBar;
class QToolButton;

namespace kv::platform {
class Ui;
}
namespace kv::shell {
struct AppState;
}

namespace kv::albums {

class AlbumStore;
class AlbumWindowHost;

// The 27-pixel strip above the thumbnails: one tab per album in album.dat order,
// the buttons that add and delete albums, and at its end a list of all albums for
// when the tabs do not fit. Every album operation goes to the store; the tabs then
// mirror the album list and the current album again.
class AlbumWindow : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kHeight = 27;

    AlbumWindow(shell::AppState& app, AlbumStore& store, platform::Ui& ui, AlbumWindowHost& host,
                QWidget* parent = nullptr);

    // Makes the tabs equal the album list and select the current album, without
    // reporting that as a selection by the user; enables "Löschen" when an album
    // other than the default one exists.
    void syncTabs();
    // While a picture goes to the printer no album may be made or removed.
    void setAlbumChangesEnabled(bool on);
    // The album whose tab is under the screen point, or -1.
    int tabAtGlobal(QPoint globalPos) const;
    QWidget* tabControl() const;

  signals:
    // Another album (or none of the old pictures) is in the picture table now.
    void albumShown();

  private:
    void tabSelected(int index);
    void newAlbum();
    void deleteAlbum();
    void tabDoubleClicked(int index);
    void showLoadedAlbum();
    void fillAlbumList();

    shell::AppState& m_app;
    AlbumStore& m_store;
    platform::Ui& m_ui;
    AlbumWindowHost& m_host;
    QToolButton* m_newButton;
    QToolButton* m_deleteButton;
    QTabBar* m_tabs;
    QToolButton* m_listButton;
    QMenu* m_albumList;
    bool m_changesEnabled = true;
};

} // namespace kv::albums
