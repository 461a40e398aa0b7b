#include "albums/album_window.h"
#include "platform/qt_text.h"

#include "albums/album_name_dialog.h"
#include "albums/album_store.h"
#include "albums/album_window_host.h"
#include "albums/album_window_texts.h"
#include "platform/images_qt.h"
#include "platform/ui.h"
#include "shell/app_state.h"

#include <algorithm>

#include <QHBoxLayout>
#include <QMenu>
#include <QProxyStyle>
#include <QSignalBlocker>
#include <QTabBar>
#include <QToolButton>

namespace kv::albums {

namespace {

constexpr QSize kButtonImageSize(20, 20);
constexpr int kButtonSize = 25;
constexpr int kListButtonWidth = 17;
// A tab gives way only down to about this many characters; beyond that the bar
// scrolls. Qt's own minimum keeps three, which leaves stubs like "Z…".
constexpr int kReadableCharacters = 10;

using platform::qs;

// "&" would mark an access key ("Tom & Jerry" shown as "Tom _Jerry").
QString shownName(const std::string& name) {
    QString shown = QString::fromStdString(name);
    shown.replace(QLatin1Char('&'), QLatin1String("&&"));
    return shown;
}

// Tabs a little tighter than the style's own, so that the narrow strip shows three
// short names side by side.
class CompactTabs : public QProxyStyle {
  public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override {
        const int value = QProxyStyle::pixelMetric(metric, option, widget);
        return metric == PM_TabBarTabHSpace ? value / 2 : value;
    }
};

class AlbumTabBar : public QTabBar {
  public:
    using QTabBar::QTabBar;

  protected:
    QSize minimumTabSizeHint(int index) const override {
        QSize size = tabSizeHint(index);
        const QFontMetrics metrics = fontMetrics();
        const int text = metrics.size(Qt::TextShowMnemonic, tabText(index)).width();
        const int readable = metrics.averageCharWidth() * kReadableCharacters +
                             metrics.horizontalAdvance(QChar(0x2026));
        if (text > readable)
            size.rwidth() -= text - readable;
        return size;
    }
};

QToolButton* imageButton(std::string_view image, std::string_view caption, const char* objectName,
                         QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setObjectName(objectName);
    const QPixmap pixmap = platform::programImage(image, kButtonImageSize);
    if (pixmap.isNull())
        button->setText(qs(caption));
    else
        button->setIcon(QIcon(pixmap));
    button->setIconSize(kButtonImageSize);
    button->setFixedSize(kButtonSize, kButtonSize);
    button->setToolTip(qs(caption));
    button->setAccessibleName(qs(caption));
    button->setAutoRaise(false);
    return button;
}

} // namespace

AlbumWindow::AlbumWindow(shell::AppState& app, AlbumStore& store, platform::Ui& ui,
                         AlbumWindowHost& host, QWidget* parent)
    : QWidget(parent), m_app(app), m_store(store), m_ui(ui), m_host(host) {
    setObjectName("PhotoAlbum");
    setFixedHeight(kHeight);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Window);

    m_newButton = imageButton("album-new", text::kNewAlbumButton, "NewAlbumButton", this);
    m_deleteButton =
        imageButton("album-delete", text::kDeleteAlbumButton, "DeleteAlbumButton", this);
    m_tabs = new AlbumTabBar(this);
    m_tabs->setObjectName("AlbumTabs");
    // Made after the tabs, so it outlives them when the strip's children go.
    auto* compact = new CompactTabs;
    compact->setParent(this);
    m_tabs->setStyle(compact);
    m_tabs->setExpanding(false);
    m_tabs->setUsesScrollButtons(true);
    // Long names are shortened on their tab and shown whole in its tooltip.
    m_tabs->setElideMode(Qt::ElideRight);
    m_tabs->setDrawBase(false);
    m_tabs->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

    // Every album one click (or Tab and Space) away, however many there are.
    m_listButton = new QToolButton(this);
    m_listButton->setObjectName("AlbumListButton");
    m_listButton->setArrowType(Qt::DownArrow);
    m_listButton->setFixedSize(kListButtonWidth, kButtonSize);
    m_listButton->setToolTip(qs(text::kAlbumListButton));
    m_listButton->setAccessibleName(qs(text::kAlbumListButton));
    m_albumList = new QMenu(m_listButton);
    m_albumList->setObjectName("AlbumList");

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(1, 1, 0, 0);
    layout->setSpacing(1);
    layout->addWidget(m_newButton, 0, Qt::AlignTop);
    layout->addWidget(m_deleteButton, 0, Qt::AlignTop);
    layout->addWidget(m_tabs, 1);
    layout->addWidget(m_listButton, 0, Qt::AlignTop);

    connect(m_tabs, &QTabBar::currentChanged, this, &AlbumWindow::tabSelected);
    connect(m_tabs, &QTabBar::tabBarDoubleClicked, this, &AlbumWindow::tabDoubleClicked);
    connect(m_newButton, &QToolButton::clicked, this, &AlbumWindow::newAlbum);
    connect(m_deleteButton, &QToolButton::clicked, this, &AlbumWindow::deleteAlbum);
    connect(m_listButton, &QToolButton::clicked, this, [this] {
        fillAlbumList();
        m_albumList->popup(m_listButton->mapToGlobal(QPoint(0, m_listButton->height())));
    });

    AlbumState& albums = m_app.albums;
    albums.currentAlbum = 0;
    albums.changeMode = AlbumChangeMode::Idle;
    albums.albumJustChanged = false;
    syncTabs();
}

void AlbumWindow::syncTabs() {
    const QSignalBlocker blocker(m_tabs);
    const AlbumState& albums = m_app.albums;
    const int count = albums.albumCount();
    while (m_tabs->count() > count)
        m_tabs->removeTab(m_tabs->count() - 1);
    for (int i = 0; i < count; ++i) {
        const std::string& name = albums.albumNames[static_cast<std::size_t>(i)];
        const QString shown = shownName(name);
        if (i < m_tabs->count())
            m_tabs->setTabText(i, shown);
        else
            m_tabs->addTab(shown);
        m_tabs->setTabToolTip(i, QString::fromStdString(name));
    }
    if (albums.currentAlbum >= 0 && albums.currentAlbum < count)
        m_tabs->setCurrentIndex(albums.currentAlbum);
    m_deleteButton->setEnabled(m_changesEnabled && albums.canDeleteAlbum());
}

void AlbumWindow::setAlbumChangesEnabled(bool on) {
    m_changesEnabled = on;
    m_newButton->setEnabled(on);
    m_deleteButton->setEnabled(on && m_app.albums.canDeleteAlbum());
}

int AlbumWindow::tabAtGlobal(QPoint globalPos) const {
    if (!m_tabs->isVisible())
        return -1;
    const QPoint local = m_tabs->mapFromGlobal(globalPos);
    if (!m_tabs->rect().contains(local))
        return -1;
    return m_tabs->tabAt(local);
}

QWidget* AlbumWindow::tabControl() const {
    return m_tabs;
}

// Built when opened, so it always lists the albums as they are now. Choosing one
// goes the way of a click on its tab.
void AlbumWindow::fillAlbumList() {
    m_albumList->clear();
    const AlbumState& albums = m_app.albums;
    for (int i = 0; i < albums.albumCount(); ++i) {
        const std::string& name = albums.albumNames[static_cast<std::size_t>(i)];
        QAction* action = m_albumList->addAction(shownName(name));
        action->setCheckable(true);
        action->setChecked(i == albums.currentAlbum);
        // By name: the list on disk may have changed while the menu was open.
        connect(action, &QAction::triggered, m_tabs, [this, name] {
            const std::vector<std::string>& now = m_app.albums.albumNames;
            const auto found = std::find(now.begin(), now.end(), name);
            if (found != now.end())
                m_tabs->setCurrentIndex(static_cast<int>(found - now.begin()));
        });
    }
}

void AlbumWindow::showLoadedAlbum() {
    syncTabs();
    emit albumShown();
    m_host.refreshViews();
}

void AlbumWindow::tabSelected(int index) {
    AlbumState& albums = m_app.albums;
    m_app.adjustedPicturePresent = false;
    albums.changeMode = AlbumChangeMode::Switching;
    albums.albumJustChanged = true;
    const platform::Ui::WaitCursor wait(m_ui);
    m_store.loadAlbum(index, AlbumChangeMode::Switching);
    showLoadedAlbum();
}

void AlbumWindow::newAlbum() {
    m_app.adjustedPicturePresent = false;
    const std::optional<std::string> name =
        AlbumNameDialog::ask(AlbumNameDialog::Kind::NewAlbum, window());
    if (!name)
        return;
    AlbumState& albums = m_app.albums;
    albums.changeMode = AlbumChangeMode::Adding;
    albums.albumJustChanged = true;
    const StoreResult result = m_store.addAlbum(*name);
    if (result == StoreResult::Done || result == StoreResult::NotSaved)
        showLoadedAlbum();
    else
        syncTabs();
}

void AlbumWindow::deleteAlbum() {
    m_app.adjustedPicturePresent = false;
    const StoreResult result = m_store.deleteAlbum(m_app.albums.currentAlbum);
    if (result == StoreResult::Done || result == StoreResult::NotSaved) {
        m_app.albums.changeMode = AlbumChangeMode::Deleting;
        showLoadedAlbum();
    } else {
        syncTabs();
    }
}

void AlbumWindow::tabDoubleClicked(int index) {
    if (index < 0 || index != m_tabs->currentIndex())
        return;
    const std::optional<std::string> name =
        AlbumNameDialog::ask(AlbumNameDialog::Kind::RenameAlbum, window());
    if (!name)
        return;
    m_store.renameAlbum(index, *name);
    syncTabs();
}

} // namespace kv::albums
