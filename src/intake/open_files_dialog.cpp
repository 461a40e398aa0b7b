#include "intake/open_files_dialog.h"
#include "platform/images_qt.h"

#include "intake/intake_messages.h"
#include "intake/open_files_texts.h"
#include "platform/qt_text.h"

#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>
#include <cstring>

namespace kv::intake {

namespace fs = std::filesystem;
using platform::qs;

namespace {

constexpr int kPathLineRole = Qt::UserRole;
constexpr int kDriveIconRole = Qt::UserRole + 1;

QStyle::StandardPixmap driveIcon(DriveIcon icon) {
    switch (icon) {
    case DriveIcon::Removable:
        return QStyle::SP_DriveFDIcon;
    case DriveIcon::CdRom:
        return QStyle::SP_DriveCDIcon;
    case DriveIcon::Remote:
        return QStyle::SP_DriveNetIcon;
    case DriveIcon::Fixed:
        break;
    }
    return QStyle::SP_DriveHDIcon;
}

fs::path startingFolder(const fs::path& startFolder) {
    if (!startFolder.empty() && folderReady(startFolder))
        return startFolder;
    return QDir::homePath().toStdString();
}

} // namespace

// The preview: a sunken frame on the button face and the picture inside it,
// reduced to fit but never enlarged.
class PreviewWidget : public QWidget {
  public:
    explicit PreviewWidget(QWidget* parent) : QWidget(parent) {
        setObjectName("PreviewWindow");
        setMinimumSize(240, 180);
    }
    void setPicture(const platform::Bitmap24& picture, int bits, bool several) {
        m_image = bits == 1 || several ? QImage() : platform::toQImage(picture);
        m_scaled = QImage();
        m_blackAndWhite = bits == 1 && !several;
        m_several = several;
        update();
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), palette().color(QPalette::Button));
        const int w = width();
        const int h = height();
        painter.setPen(Qt::black);
        painter.drawLine(0, 0, w - 1, 0);
        painter.drawLine(0, 0, 0, h - 1);
        painter.drawLine(1, 1, w - 2, 1);
        painter.drawLine(1, 1, 1, h - 2);
        painter.setPen(Qt::white);
        painter.drawLine(0, h - 1, w - 1, h - 1);
        painter.drawLine(w - 1, 0, w - 1, h - 1);
        painter.drawLine(1, h - 2, w - 2, h - 2);
        painter.drawLine(w - 2, 1, w - 2, h - 2);
        if (m_several)
            return;
        const QRect inner = rect().adjusted(2, 2, -2, -2);
        if (m_blackAndWhite) {
            painter.setPen(Qt::black);
            painter.drawText(inner, Qt::AlignCenter | Qt::TextWordWrap, qs(msg::kBlackAndWhite));
            return;
        }
        if (m_image.isNull())
            return;
        const platform::Rect place = previewPlacement(m_image.width(), m_image.height(), w, h);
        if (place.isEmpty())
            return;
        const QSize size(place.width(), place.height());
        // Scaled once per size: a camera picture is far larger than the preview.
        if (m_scaled.size() != size)
            m_scaled = m_image.size() == size
                           ? m_image
                           : m_image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        painter.drawImage(QPoint(place.left, place.top), m_scaled);
    }

  private:
    QImage m_image;
    QImage m_scaled;
    bool m_blackAndWhite = false;
    bool m_several = false;
};

// The selected file's name and size under the preview.
class InfoWidget : public QWidget {
  public:
    explicit InfoWidget(QWidget* parent) : QWidget(parent) {
        setObjectName("InfoWindow");
        setMinimumHeight(2 * fontMetrics().height() + 8);
    }
    void setText(const QString& text, bool several) {
        m_text = text;
        m_several = several;
        update();
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), palette().color(QPalette::Button));
        if (m_several)
            return;
        painter.setPen(Qt::black);
        painter.setBackgroundMode(Qt::TransparentMode);
        painter.drawText(rect(), Qt::AlignCenter, m_text);
    }

  private:
    QString m_text;
    bool m_several = false;
};

OpenFilesDialog::OpenFilesDialog(shell::AppState& state, platform::Ui& ui, OpenFilesMemory& memory,
                                 const fs::path& startFolder, OpenFilesEnvironment environment,
                                 QWidget* parent)
    : QDialog(parent), m_ui(ui), m_memory(memory), m_environment(std::move(environment)),
      m_model(state, ui, m_environment) {
    setObjectName("OpenFilesDialog");
    setWindowTitle(qs(open_text::kTitle));
    setModal(true);

    m_files = new QListWidget(this);
    m_files->setObjectName("FileList");
    m_files->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_files->setSortingEnabled(false); // filled in the order the logic sorted
    m_folders = new QListWidget(this);
    m_folders->setObjectName("FolderList");
    m_folders->installEventFilter(this);
    m_types = new QComboBox(this);
    m_types->setObjectName("TypeCombo");
    m_driveBox = new QComboBox(this);
    m_driveBox->setObjectName("DriveCombo");
    m_preview = new PreviewWidget(this);
    m_info = new InfoWidget(this);
    m_rotate = new QPushButton(qs(open_text::kRotate), this);
    m_rotate->setObjectName("RotateButton");
    m_load = new QPushButton(qs(open_text::kLoad), this);
    m_load->setObjectName("LoadButton");
    m_load->setDefault(true);
    m_cancel = new QPushButton(qs(open_text::kCancel), this);
    m_cancel->setObjectName("CancelButton");

    const auto label = [this](std::string_view text, QWidget* buddy) {
        auto* l = new QLabel(qs(text), this);
        l->setBuddy(buddy);
        return l;
    };
    auto* grid = new QGridLayout;
    grid->addWidget(label(open_text::kFileList, m_files), 0, 0);
    grid->addWidget(label(open_text::kFolderList, m_folders), 0, 1);
    grid->addWidget(label(open_text::kPreview, m_preview), 0, 2);
    grid->addWidget(m_files, 1, 0);
    grid->addWidget(m_folders, 1, 1);
    grid->addWidget(m_preview, 1, 2);
    grid->addWidget(label(open_text::kFileType, m_types), 2, 0);
    grid->addWidget(label(open_text::kDrive, m_driveBox), 2, 1);
    grid->addWidget(m_info, 2, 2, 2, 1);
    grid->addWidget(m_types, 3, 0);
    grid->addWidget(m_driveBox, 3, 1);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_rotate);
    buttons->addWidget(m_load);
    buttons->addWidget(m_cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid, 1);
    layout->addLayout(buttons);

    setTabOrder(m_files, m_folders);
    setTabOrder(m_folders, m_types);
    setTabOrder(m_types, m_driveBox);
    setTabOrder(m_driveBox, m_rotate);
    setTabOrder(m_rotate, m_load);
    setTabOrder(m_load, m_cancel);

    for (const TypeFilter& filter : kTypeFilters)
        m_types->addItem(qs(filter.entry));
    if (m_memory.typeFilter < 0 || m_memory.typeFilter >= int(kTypeFilters.size()))
        m_memory.typeFilter = kDefaultTypeFilter;
    m_types->setCurrentIndex(m_memory.typeFilter);

    m_drives = m_environment.drives ? m_environment.drives() : std::vector<Drive>{};
    for (const Drive& drive : m_drives) {
        m_driveBox->addItem(style()->standardIcon(driveIcon(drive.icon)), qs(drive.mountPoint));
        m_driveBox->setItemData(m_driveBox->count() - 1, int(drive.icon), kDriveIconRole);
    }

    const fs::path start = startingFolder(startFolder);
    enterFolder({start, driveOf(m_drives, start)});

    connect(m_files, &QListWidget::itemSelectionChanged, this,
            &OpenFilesDialog::fileSelectionChanged);
    connect(m_files, &QListWidget::itemDoubleClicked, this, [this] {
        if (m_load->isEnabled())
            m_load->click();
    });
    connect(m_folders, &QListWidget::itemDoubleClicked, this, &OpenFilesDialog::openFolderLine);
    connect(m_types, &QComboBox::currentIndexChanged, this, &OpenFilesDialog::typeChanged);
    connect(m_driveBox, &QComboBox::currentIndexChanged, this, &OpenFilesDialog::driveChanged);
    connect(m_rotate, &QPushButton::clicked, this, &OpenFilesDialog::rotate);
    connect(m_load, &QPushButton::clicked, this, &OpenFilesDialog::load);
    connect(m_cancel, &QPushButton::clicked, this, &OpenFilesDialog::reject);

    m_files->setFocus();
    resize(720, 420);
}

OpenFilesDialog::~OpenFilesDialog() = default;

void OpenFilesDialog::enterFolder(const FolderPick& pick) {
    fs::path folder = fs::absolute(pick.folder).lexically_normal();
    if (!folder.has_filename() && folder != folder.root_path())
        folder = folder.parent_path(); // no trailing separator: one spelling per folder
    m_folder = folder;
    if (pick.drive < std::size_t(m_driveBox->count())) {
        const QSignalBlocker block(m_driveBox);
        m_driveBox->setCurrentIndex(int(pick.drive));
    }
    fillFolderList();
    fillFileList();
}

void OpenFilesDialog::fillFolderList() {
    m_folders->clear();
    const QStyle* s = style();
    QListWidgetItem* current = nullptr;
    for (const FolderLine& line : folderLines(m_folder)) {
        auto* item = new QListWidgetItem(
            s->standardIcon(line.onPath ? QStyle::SP_DirOpenIcon : QStyle::SP_DirClosedIcon),
            QString(line.level * 2, QChar(' ')) + qs(line.text), m_folders);
        item->setData(kPathLineRole, qs(line.path.string()));
        if (line.onPath)
            current = item;
    }
    if (current)
        m_folders->setCurrentItem(current);
}

void OpenFilesDialog::fillFileList() {
    {
        const QSignalBlocker block(m_files);
        m_files->clear();
        const int type = std::clamp(m_types->currentIndex(), 0, int(kTypeFilters.size()) - 1);
        for (const std::string& name :
             matchingFiles(m_folder, kTypeFilters[std::size_t(type)].patterns))
            m_files->addItem(qs(name));
    }
    m_model.clearSelection();
    showModel();
}

void OpenFilesDialog::openFolderLine(QListWidgetItem* item) {
    if (!item)
        return;
    const fs::path wanted = item->data(kPathLineRole).toString().toStdString();
    enterFolder(openFolder(m_drives, wanted, m_ui));
}

void OpenFilesDialog::typeChanged(int index) {
    if (index < 0)
        return;
    m_memory.typeFilter = index;
    fillFileList();
}

void OpenFilesDialog::driveChanged(int index) {
    if (index < 0)
        return;
    enterFolder(changeDrive(m_drives, std::size_t(index), m_ui));
}

std::vector<std::string> OpenFilesDialog::selectedNames() const {
    std::vector<std::string> names;
    for (int i = 0; i < m_files->count(); ++i)
        if (m_files->item(i)->isSelected())
            names.push_back(m_files->item(i)->text().toStdString());
    return names;
}

void OpenFilesDialog::fileSelectionChanged() {
    m_model.selectionChanged(m_folder, selectedNames());
    showModel();
}

void OpenFilesDialog::showModel() {
    m_load->setEnabled(m_model.loadEnabled());
    m_rotate->setEnabled(m_model.rotateEnabled());
    const bool several = m_model.severalSelected();
    m_preview->setPicture(m_model.preview(), m_model.previewBits(), several);
    m_info->setText(qs(m_model.info()), several);
}

void OpenFilesDialog::rotate() {
    m_model.rotate();
    showModel();
}

void OpenFilesDialog::load() {
    if (!m_load->isEnabled())
        return;
    m_chosen = m_model.load(m_folder, selectedNames());
    accept();
}

void OpenFilesDialog::reject() {
    m_model.takePreview();
    QDialog::reject();
}

bool OpenFilesDialog::eventFilter(QObject* watched, QEvent* event) {
    // Enter on a folder line opens it; it must not reach "Laden" as well.
    if (watched == m_folders && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            openFolderLine(m_folders->currentItem());
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace kv::intake
