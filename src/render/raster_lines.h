#pragma once

#include "printer/head_map.h"
#include "render/print_images.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string_view>
#include <vector>

// The raster lines of one sheet: every print level of the ExposureImage placed on
// its print-head element through the head map, line by line as the paper advances.
namespace kv::render {

inline constexpr std::string_view kBmxFileName = "default.bmx"; // on drive C:

class RasterLineBuilder {
  public:
    RasterLineBuilder();

    // Takes the levels of rows 0..479, columns 0..639 (the picture, not the
    // margin) into the builder's own copy; once per sheet, after the colour stages.
    void prepare(const ExposureImage& exposure);

    // Line `line` of the sheet, kLineBytes long; its first kBmxLineBytes are the
    // line of the BMX file. Lines from kDataLines on are white. The bytes stay
    // valid until the next call.
    std::span<const std::uint8_t> line(int line);

  private:
    // Per sheet column (the margin columns stay 0) and channel, the levels of the
    // 480 rows in order, never negative: a line reads them one after the other.
    std::vector<std::uint16_t> m_columns;
    // Per group slot, the values of one line by group before they are interleaved.
    std::vector<std::uint8_t> m_slots;
    std::vector<std::uint8_t> m_line;
};

// Writes the sheet's 773 lines of 9,152 bytes to `file`, truncating it. False when
// the file cannot be created or written completely; a partial file is removed.
bool writeBmxFile(const std::filesystem::path& file, const ExposureImage& exposure);

// Direct printing: hands the 774 lines of kLineBytes in order to `send`, which
// returns false to stop (a failed send, a cancel). Returns how many lines were
// sent successfully.
int streamRasterLines(const ExposureImage& exposure,
                      const std::function<bool(int line, std::span<const std::uint8_t>)>& send);

} // namespace kv::render
