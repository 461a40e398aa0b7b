// A print server's document on arbitrary bytes, decoded and cropped to fill the sheet:
// never a crash, and either a sheet file or a reason, never both or neither.
#include "printer_app/document_sheet.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    namespace fs = std::filesystem;
    static const fs::path folder = [] {
        fs::path p = fs::temp_directory_path() / ("kv-fuzz-document-" + std::to_string(getpid()));
        fs::create_directories(p);
        return p;
    }();
    const fs::path document = folder / "document";
    std::ofstream(document, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    const fs::path work = folder / "work";
    std::error_code ec;
    fs::remove_all(work, ec);
    fs::create_directories(work);
    kv::printer_app::SheetRequest request;
    request.scaling = kv::printer_app::Scaling::Fill;
    request.quarterTurns = static_cast<int>(size % 4);
    const kv::printer_app::SheetSource source =
        kv::printer_app::prepareDocumentSheet(document, request, work);
    if (source.file.empty() == source.failure.empty())
        std::abort();
    return 0;
}
