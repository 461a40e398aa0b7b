#include "printer_app/job_list.h"

#include <pappl/pappl.h>

#include <cstdio>
#include <cstring>
#include <string>

#include <unistd.h>

namespace kv::printer_app {

namespace {

constexpr const char* kAppName = "kvphoto-printer-app";

// Where PAPPL's main loop listens for its own sub-commands: the user's server, then root's.
http_t* connectToServer() {
    const std::string own =
        std::string(papplGetTempDir()) + "/" + kAppName + std::to_string(getuid()) + ".sock";
    const std::string root = std::string("/run/") + kAppName + ".sock";
    for (const std::string& path : {getuid() ? own : root, root}) {
        if (http_t* http = httpConnect2(path.c_str(), 0, nullptr, AF_UNSPEC,
                                        HTTP_ENCRYPTION_IF_REQUESTED, 1, 30000, nullptr))
            return http;
    }
    return nullptr;
}

} // namespace

int listJobsWithReasons(int argc, char* argv[]) {
    const bool local = argc == 2 && std::strcmp(argv[1], "jobs") == 0;
    const bool remote =
        argc == 4 && std::strcmp(argv[1], "jobs") == 0 && std::strcmp(argv[2], "-u") == 0;
    if (!local && !remote)
        return -1;
    std::string printerUri = "ipp://localhost/ipp/print";
    std::string resource = "/ipp/print";
    http_t* http = nullptr;
    if (remote) {
        char scheme[32], userpass[256], host[256], path[1024];
        int port = 0;
        if (httpSeparateURI(HTTP_URI_CODING_ALL, argv[3], scheme, sizeof scheme, userpass,
                            sizeof userpass, host, sizeof host, &port, path,
                            sizeof path) < HTTP_URI_STATUS_OK)
            return -1;
        printerUri = argv[3];
        resource = path;
        http = httpConnect2(host, port, nullptr, AF_UNSPEC,
                            std::strcmp(scheme, "ipps") == 0 ? HTTP_ENCRYPTION_ALWAYS
                                                             : HTTP_ENCRYPTION_IF_REQUESTED,
                            1, 30000, nullptr);
    } else {
        http = connectToServer();
    }
    if (!http)
        return -1;
    static const char* const wanted[] = {"job-id", "job-name", "job-originating-user-name",
                                         "job-state", "job-state-message"};
    ipp_t* request = ippNewRequest(IPP_OP_GET_JOBS);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr,
                 printerUri.c_str());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
                 cupsUser());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr, "all");
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                  static_cast<int>(sizeof wanted / sizeof wanted[0]), nullptr, wanted);
    ipp_t* response = cupsDoRequest(http, request, resource.c_str());
    if (!response || ippGetStatusCode(response) > IPP_STATUS_OK_EVENTS_COMPLETE) {
        std::fprintf(stderr, "%s: %s\n", kAppName, cupsLastErrorString());
        ippDelete(response);
        httpClose(http);
        return 1;
    }
    for (ipp_attribute_t* attr = ippFirstAttribute(response); attr;) {
        if (ippGetGroupTag(attr) != IPP_TAG_JOB) {
            attr = ippNextAttribute(response);
            continue;
        }
        int id = 0;
        int state = IPP_JSTATE_PENDING;
        const char* name = "(none)";
        const char* user = "(unknown)";
        const char* message = nullptr;
        for (; attr && ippGetGroupTag(attr) == IPP_TAG_JOB; attr = ippNextAttribute(response)) {
            const char* attrName = ippGetName(attr);
            if (!std::strcmp(attrName, "job-id"))
                id = ippGetInteger(attr, 0);
            else if (!std::strcmp(attrName, "job-name"))
                name = ippGetString(attr, 0, nullptr);
            else if (!std::strcmp(attrName, "job-originating-user-name"))
                user = ippGetString(attr, 0, nullptr);
            else if (!std::strcmp(attrName, "job-state"))
                state = ippGetInteger(attr, 0);
            else if (!std::strcmp(attrName, "job-state-message"))
                message = ippGetString(attr, 0, nullptr);
        }
        // PAPPL's own columns; the message of a job that waits or was aborted after them.
        std::printf("%d %-12s %-16s %s", id, ippEnumString("job-state", state), user, name);
        if (message && *message && (state == IPP_JSTATE_PROCESSING || state == IPP_JSTATE_ABORTED))
            std::printf(" - %s", message);
        std::printf("\n");
    }
    ippDelete(response);
    httpClose(http);
    return 0;
}

} // namespace kv::printer_app
