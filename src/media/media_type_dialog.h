#pragma once

#include "media/media_service.h"

#include <QDialog>

class QCheckBox;
class QLineEdit;

namespace kv::media {

// "Medientyp einstellen": the user types the media identification from the
// cassette. Opening it re-applies the stored ranks; "OK" stores, applies and
// uploads through acceptMediaId and closes only when that stored the values.
// Make one per opening.
class MediaTypeDialog : public QDialog {
  public:
    explicit MediaTypeDialog(MediaContext context, QWidget* parent = nullptr);

  private:
    void acceptId();

    MediaContext m_context;
    QLineEdit* m_edit = nullptr;
    QCheckBox* m_atStartup = nullptr;
};

} // namespace kv::media
