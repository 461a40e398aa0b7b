#include "media/media_type_dialog.h"
#include "platform/qt_text.h"

#include "media/media_id.h"
#include "media/media_messages.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace kv::media {

namespace {

using platform::qs;

QLabel* wrappedLabel(std::string_view text, QWidget* parent) {
    auto* label = new QLabel(qs(text), parent);
    label->setWordWrap(true);
    return label;
}

} // namespace

MediaTypeDialog::MediaTypeDialog(MediaContext context, QWidget* parent)
    : QDialog(parent), m_context(std::move(context)) {
    setWindowTitle(qs(kMediaTypeTitle));
    setModal(true);

    auto* label = new QLabel(qs(kMediaTypeIdLabel), this);
    m_edit = new QLineEdit(this);
    m_edit->setObjectName(QStringLiteral("MediaIdEdit"));
    m_edit->setMaxLength(static_cast<int>(kMediaIdLength));
    label->setBuddy(m_edit);

    m_atStartup = new QCheckBox(qs(kMediaTypeAtStartup), this);
    m_atStartup->setObjectName(QStringLiteral("DisplayAtStartupBox"));

    auto* ok = new QPushButton(qs(kMediaTypeOk), this);
    ok->setObjectName(QStringLiteral("OkButton"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(qs(kMediaTypeCancel), this);
    cancel->setObjectName(QStringLiteral("CancelButton"));
    cancel->setAutoDefault(false);

    auto* idRow = new QHBoxLayout;
    idRow->addWidget(label);
    idRow->addWidget(m_edit, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(idRow);
    layout->addWidget(wrappedLabel(kMediaTypeCheckId, this));
    layout->addWidget(wrappedLabel(kMediaTypeCheckOnChange, this));
    layout->addWidget(m_atStartup);
    layout->addLayout(buttons);

    setTabOrder(m_edit, m_atStartup);
    setTabOrder(m_atStartup, ok);
    setTabOrder(ok, cancel);
    m_edit->setFocus();

    connect(ok, &QPushButton::clicked, this, &MediaTypeDialog::acceptId);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    const MediaDialogValues values = loadMediaDialogValues(m_context.programDir, m_context.media);
    m_edit->setText(qs(values.text));
    m_atStartup->setChecked(values.displayAtStartup);
}

void MediaTypeDialog::acceptId() {
    MediaIdAccepted result;
    {
        // FindPrinter and the upload bracket take seconds.
        platform::Ui::WaitCursor wait(m_context.link.ui());
        result = acceptMediaId(m_context, m_edit->text().toStdString(), m_atStartup->isChecked());
    }
    // Stored values close the dialog even when the upload failed: that was told, and the
    // next print repeats the upload.
    if (result == MediaIdAccepted::Stored || result == MediaIdAccepted::NotUploaded)
        accept();
    else
        m_edit->setFocus();
}

} // namespace kv::media
