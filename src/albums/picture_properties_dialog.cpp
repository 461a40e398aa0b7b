#include "albums/picture_properties_dialog.h"
#include "platform/qt_text.h"

#include "albums/album_window_texts.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include <string>

namespace kv::albums {

namespace {

using platform::qs;

QLineEdit* valueField(const std::string& value, const char* objectName, QWidget* parent) {
    auto* field = new QLineEdit(qs(value), parent);
    field->setObjectName(objectName);
    field->setReadOnly(true);
    field->setCursorPosition(0);
    return field;
}

} // namespace

PicturePropertiesDialog::PicturePropertiesDialog(std::string_view displayName,
                                                 const PictureProperties& properties,
                                                 QWidget* parent)
    : QDialog(parent) {
    setObjectName("PicturePropertiesDialog");
    setWindowTitle(qs(text::kPropertiesTitlePrefix) + qs(displayName) +
                   qs(text::kPropertiesTitleSuffix));
    setModal(true);

    auto* tabs = new QTabWidget(this);
    auto* page = new QWidget(tabs);
    auto* form = new QFormLayout(page);
    form->addRow(qs(text::kPathLabel), valueField(properties.path, "PropertyPath", page));
    form->addRow(qs(text::kStatusLabel), valueField(properties.status, "PropertyStatus", page));
    form->addRow(qs(text::kSizeLabel), valueField(properties.size, "PropertySize", page));
    form->addRow(qs(text::kDateLabel), valueField(properties.date, "PropertyDate", page));
    tabs->addTab(page, qs(text::kPropertiesPage));

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(qs(text::kOk), QDialogButtonBox::AcceptRole);
    ok->setObjectName("OkButton");
    ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs);
    layout->addWidget(buttons);
    setMinimumWidth(420);
    ok->setFocus();
}

void PicturePropertiesDialog::showProperties(std::string_view displayName,
                                             std::string_view fullPath, QWidget* parent) {
    const std::filesystem::path file{std::string(fullPath)};
    PicturePropertiesDialog dialog(displayName, formatProperties(fullPath, readFileFacts(file)),
                                   parent);
    dialog.exec();
}

} // namespace kv::albums
