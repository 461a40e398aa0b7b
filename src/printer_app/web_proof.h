#pragma once

#include "render/print_proof.h"

#include <pappl/pappl.h>

#include <filesystem>

// A job's proof on the web interface: the colours its sheet's print levels stand for,
// as a 640 x 480 PNG at /kvproof?job=ID, kept in the server's spool folder.
namespace kv::printer_app {

inline constexpr const char* kProofPath = "/kvproof";

// Serves the proofs of `system`'s jobs, kept in `folder` (the server's own spool).
void addProofResource(pappl_system_t* system, const std::filesystem::path& folder);

// Keeps the proof of the levels a sheet of `job` was just given, in place of any
// earlier one of the job; proofs of jobs that are gone are removed.
void keepJobProof(pappl_job_t* job, const render::ExposureImage& levels,
                  const render::LevelProof& proof);

// Whether a proof of the job is kept.
bool hasJobProof(pappl_job_t* job);

} // namespace kv::printer_app
