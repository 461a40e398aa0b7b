#pragma once

#include "printer/port_api.h"
#include "printer/virtual_printer.h"
#include "render/print_images.h"
#include "render/print_proof.h"

#include <cstddef>
#include <cstdint>

// A job's proof of the pages the virtual printer re-assembles: the printer knows
// only levels, the job knows the calibration they were made with.
namespace kv::jobs {

// The page's levels as an exposure image (yellow from its element sum's estimate,
// the margin columns at their fixed level).
render::ExposureImage exposureOfPage(const printer::PageLevels& page);

// KvPageProofFunction over a render::LevelProof passed as the context.
extern "C" int jobPageProof(void* context, const std::uint16_t* levels, std::uint8_t* rgb,
                            char* name, std::size_t nameSize);

} // namespace kv::jobs
