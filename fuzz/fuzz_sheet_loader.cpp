// The sheet loader on arbitrary bytes, and the turn into the printer's orientation
// of whatever it accepts: never a read or write outside the file or the image.
#include "platform/recording_ui.h"
#include "render/print_images.h"
#include "render/sheet_loader.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kv;
    static render::PrintImage image;
    platform::RecordingUi ui;
    const auto shape = render::loadSheet({data, size}, image, ui);
    if (!shape)
        return 0;
    if (!ui.prompts().empty())
        std::abort(); // a loaded sheet was also reported as a failure
    render::orientFrame(image, *shape);
    return 0;
}
