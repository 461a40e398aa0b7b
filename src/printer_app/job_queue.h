#pragma once

#include <pappl/pappl.h>

#include <string>

// The server's queue on top of PAPPL's: jobs print in the order they came, a job cut off
// by a crash or a stop prints again from its first sheet at the next start, and SIGTERM
// stops the server at once, keeping every unfinished job.
namespace kv::printer_app {

// Before PAPPL reads `stateFile`: jobs the last run left printing (or held between two
// jobs) become pending again, and one whose document is gone is aborted with the reason.
// Their saved attributes lose the ones PAPPL adds again, which it would list twice.
void repairSavedJobs(const std::string& stateFile, const std::string& spoolDir);

// After PAPPL read the state: the reasons of the jobs repairSavedJobs aborted.
void explainRepairedJobs(pappl_system_t* system);

// Saves the state to `stateFile` (the system's save callback); never at the same time as
// the save of a stop.
bool saveSystemState(pappl_system_t* system, const std::string& stateFile);

// From the main loop on: the queue kept in order, the jobs left by the last run started,
// and SIGTERM/SIGINT handled. `stateFile` must live as long as the system.
void keepJobQueue(pappl_system_t* system, const std::string* stateFile);

// SIGTERM or SIGINT arrived: nothing more prints.
bool serverStopping();

// A job's callbacks begin (after PAPPL marked it processing).
void jobBegins(pappl_job_t* job);
// A job's callbacks hand it back to PAPPL: the next one to start is the oldest queued.
void jobEnds(pappl_job_t* job);
// The server is stopping and `job` did not finish: its thread stays here until the process
// ends, so the job is saved as printing and printed again at the next start.
[[noreturn]] void parkForStop(pappl_job_t* job);

} // namespace kv::printer_app
