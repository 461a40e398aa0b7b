#pragma once

#include "albums/picture_properties.h"

#include <QDialog>

#include <string_view>

namespace kv::albums {

// The properties sheet of one picture file: where it is, whether it opens, its
// size and when it was last written.
class PicturePropertiesDialog : public QDialog {
    Q_OBJECT
  public:
    PicturePropertiesDialog(std::string_view displayName, const PictureProperties& properties,
                            QWidget* parent = nullptr);

    // Looks the file up and shows the sheet until it is closed.
    static void showProperties(std::string_view displayName, std::string_view fullPath,
                               QWidget* parent);
};

} // namespace kv::albums
