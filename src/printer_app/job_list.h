#pragma once

// `kvphoto-printer-app jobs`: PAPPL's list of the jobs, with each unfinished or aborted
// job's state message (what it waits for, why it was aborted) after its name.
namespace kv::printer_app {

// Lists the jobs of the running server, or of the printer of `jobs -u URI`; the exit code,
// or -1 when the command line is another or no server answers (PAPPL's main loop takes it
// then, and starts a server where none runs).
int listJobsWithReasons(int argc, char* argv[]);

} // namespace kv::printer_app
