#include "albums/album_name_dialog.h"
#include "platform/qt_text.h"

#include "albums/album_state.h"
#include "albums/album_window_texts.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace kv::albums {

namespace {

using platform::qs;

} // namespace

ByteLengthValidator::ByteLengthValidator(int maxBytes, QObject* parent)
    : QValidator(parent), m_maxBytes(maxBytes) {}

QValidator::State ByteLengthValidator::validate(QString& input, int& /*pos*/) const {
    return input.toUtf8().size() > m_maxBytes ? Invalid : Acceptable;
}

AlbumNameDialog::AlbumNameDialog(Kind kind, QWidget* parent) : QDialog(parent) {
    const bool adding = kind == Kind::NewAlbum;
    setObjectName(adding ? "NewAlbumDialog" : "RenameAlbumDialog");
    setWindowTitle(qs(adding ? text::kNewAlbumTitle : text::kRenameAlbumTitle));
    setModal(true);

    auto* label = new QLabel(qs(adding ? text::kNewAlbumLabel : text::kRenameAlbumLabel), this);
    m_edit = new QLineEdit(this);
    m_edit->setObjectName("AlbumNameEdit");
    m_edit->setValidator(new ByteLengthValidator(kMaxAlbumNameBytes, m_edit));
    label->setBuddy(m_edit);

    auto* ok = new QPushButton(qs(text::kOk), this);
    ok->setObjectName("OkButton");
    ok->setDefault(true);
    auto* cancel = new QPushButton(qs(text::kCancel), this);
    cancel->setObjectName("CancelButton");
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(m_edit);
    layout->addLayout(buttons);

    setTabOrder(m_edit, ok);
    setTabOrder(ok, cancel);
    m_edit->setFocus();
    setMinimumWidth(320);
}

std::string AlbumNameDialog::name() const {
    return m_edit->text().toStdString();
}

std::optional<std::string> AlbumNameDialog::ask(Kind kind, QWidget* parent) {
    AlbumNameDialog dialog(kind, parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.name();
}

} // namespace kv::albums
