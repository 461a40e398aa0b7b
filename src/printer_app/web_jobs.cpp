#include "printer_app/web_jobs.h"

#include "printer_app/server_messages.h"
#include "printer_app/web_proof.h"

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace kv::printer_app {

namespace {

// As many jobs as PAPPL keeps by default.
constexpr int kJobsShown = 100;

std::string clockTime(time_t when) {
    struct tm date {};
    localtime_r(&when, &date);
    char text[64];
    std::strftime(text, sizeof text, "%X", &date);
    return text;
}

// Only cancel is offered: hold and release would fight the order the queue keeps.
const char* cancelRequested(pappl_client_t* client, pappl_printer_t* printer) {
    cups_option_t* form = nullptr;
    const int count = papplClientGetForm(client, &form);
    const char* status = nullptr;
    if (count == 0) {
        status = "Invalid form data.";
    } else if (!papplClientIsValidForm(client, count, form)) {
        status = "Invalid form submission.";
    } else {
        const char* action = cupsGetOption("action", count, form);
        const char* id = cupsGetOption("job-id", count, form);
        char* end = nullptr;
        const long jobId = id ? std::strtol(id, &end, 10) : 0;
        pappl_job_t* job = id && end && !*end && jobId > 0
                               ? papplPrinterFindJob(printer, static_cast<int>(jobId))
                               : nullptr;
        if (!job) {
            status = "Invalid Job ID.";
        } else if (!action || std::strcmp(action, "cancel-job") != 0) {
            status = "Unknown action.";
        } else {
            papplJobCancel(job);
            status = "Job canceled.";
        }
    }
    cupsFreeOptions(count, form);
    return status;
}

void jobRow(pappl_job_t* job, void* data) {
    auto* client = static_cast<pappl_client_t*>(data);
    pappl_loc_t* loc = papplClientGetLoc(client);
    char when[256] = "";
    bool cancel = false;
    switch (papplJobGetState(job)) {
    case IPP_JSTATE_PENDING:
    case IPP_JSTATE_HELD:
        cancel = true;
        papplLocFormatString(loc, when, sizeof when, "Queued at %s",
                             clockTime(papplJobGetTimeCreated(job)).c_str());
        break;
    case IPP_JSTATE_PROCESSING:
    case IPP_JSTATE_STOPPED:
        if (papplJobIsCanceled(job)) {
            std::snprintf(when, sizeof when, "%s", papplClientGetLocString(client, "Canceling"));
        } else {
            cancel = true;
            papplLocFormatString(loc, when, sizeof when, "Started at %s",
                                 clockTime(papplJobGetTimeProcessed(job)).c_str());
        }
        break;
    case IPP_JSTATE_ABORTED:
        papplLocFormatString(loc, when, sizeof when, "Aborted at %s",
                             clockTime(papplJobGetTimeCompleted(job)).c_str());
        break;
    case IPP_JSTATE_CANCELED:
        papplLocFormatString(loc, when, sizeof when, "Canceled at %s",
                             clockTime(papplJobGetTimeCompleted(job)).c_str());
        break;
    case IPP_JSTATE_COMPLETED:
        papplLocFormatString(loc, when, sizeof when, "Completed at %s",
                             clockTime(papplJobGetTimeCompleted(job)).c_str());
        break;
    }
    std::string status = when;
    // Only an aborted job's message is read here: it no longer changes under the reader.
    if (papplJobGetState(job) == IPP_JSTATE_ABORTED)
        if (const char* message = papplJobGetMessage(job); message && *message)
            status += std::string(" \xE2\x80\x93 ") + message;
    papplClientHTMLPrintf(client,
                          "              <tr><td>%d</td><td>%s</td><td>%s</td><td>%d</td>"
                          "<td>%s</td><td>",
                          papplJobGetID(job), papplJobGetName(job), papplJobGetUsername(job),
                          papplJobGetImpressionsCompleted(job), status.c_str());
    // The proof of the sheet's levels, once the colour stages made them.
    if (hasJobProof(job))
        papplClientHTMLPrintf(client, "<a href=\"%s?job=%d\">%s</a> ", kProofPath,
                              papplJobGetID(job), kProofLink);
    if (cancel) {
        char path[1024];
        papplPrinterGetPath(papplJobGetPrinter(job), "jobs", path, sizeof path);
        papplClientHTMLStartForm(client, path, false);
        papplClientHTMLPrintf(client,
                              "<input type=\"hidden\" name=\"action\" value=\"cancel-job\">"
                              "<input type=\"hidden\" name=\"job-id\" value=\"%d\">"
                              "<input type=\"submit\" value=\"%s\"></form>",
                              papplJobGetID(job), papplClientGetLocString(client, "Cancel Job"));
    }
    papplClientHTMLPuts(client, "</td></tr>\n");
}

bool jobsPage(pappl_client_t* client, void* data) {
    auto* printer = static_cast<pappl_printer_t*>(data);
    if (!papplClientHTMLAuthorize(client))
        return true;
    const char* status = nullptr;
    if (papplClientGetMethod(client) == HTTP_STATE_POST)
        status = cancelRequested(client, printer);
    const bool printing = papplPrinterGetState(printer) == IPP_PSTATE_PROCESSING;
    papplClientHTMLPrinterHeader(client, printer, "Jobs", printing ? 10 : 0, nullptr, nullptr);
    if (status)
        papplClientHTMLPrintf(client,
                              "      <div class=\"row\">\n        <div class=\"col-6\">\n"
                              "          <div class=\"banner\">%s</div>\n        </div>\n"
                              "      </div>\n",
                              papplClientGetLocString(client, status));
    if (papplPrinterGetNumberOfJobs(printer) > 0) {
        papplClientHTMLPrintf(
            client,
            "          <table class=\"list\" summary=\"Jobs\">\n            <thead>\n"
            "              <tr><th>%s</th><th>%s</th><th>%s</th><th>%s</th><th>%s</th><th>"
            "</th></tr>\n            </thead>\n            <tbody>\n",
            papplClientGetLocString(client, "Job #"), papplClientGetLocString(client, "Name"),
            papplClientGetLocString(client, "Owner"),
            papplClientGetLocString(client, "Pages Completed"),
            papplClientGetLocString(client, "Status"));
        papplPrinterIterateAllJobs(printer, jobRow, client, 1, kJobsShown);
        papplClientHTMLPuts(client, "            </tbody>\n          </table>\n");
    } else {
        papplClientHTMLPrintf(client, "        <p>%s</p>\n",
                              papplClientGetLocString(client, "No jobs in history."));
    }
    papplClientHTMLPrinterFooter(client);
    return true;
}

} // namespace

void replaceJobsPages(pappl_system_t* system) {
    // Collected first: the iteration holds the system, which a change of its pages needs.
    std::vector<pappl_printer_t*> printers;
    papplSystemIteratePrinters(
        system,
        [](pappl_printer_t* printer, void* data) {
            static_cast<std::vector<pappl_printer_t*>*>(data)->push_back(printer);
        },
        &printers);
    for (pappl_printer_t* printer : printers) {
        char path[1024];
        papplPrinterGetPath(printer, "jobs", path, sizeof path);
        papplSystemRemoveResource(system, path);
        papplSystemAddResourceCallback(system, path, "text/html", jobsPage, printer);
    }
}

} // namespace kv::printer_app
