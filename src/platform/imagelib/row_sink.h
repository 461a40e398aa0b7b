#pragma once

#include <cstdint>

// The receiving end of a decoder that hands its picture on row by row instead of
// keeping it whole, for callers that write the rows out as they come.
namespace kv::platform::imagelib {

// Takes the rows of one picture.
class RowSink {
  public:
    virtual ~RowSink() = default;
    // The upright picture's size, once the file passed every check and before any row.
    virtual void start(int width, int height) = 0;
    // One upright row of width * 3 blue, green, red bytes, counted from the bottom.
    // A row that never comes (a cut-off file) stays black.
    virtual void row(int fromBottom, const std::uint8_t* bgr) = 0;
};

} // namespace kv::platform::imagelib
