#include "render/sheet_proof.h"

#include "platform/ascii.h"
#include "render/print_preparation.h"

#include <memory>
#include <system_error>

namespace kv::render {

namespace fs = std::filesystem;

namespace {

// A Ui that shows nothing and answers every question with its negative button.
class SilentUi : public platform::Ui {
  public:
    void message(std::string_view, Icon) override {}
    Answer ask(std::string_view, Buttons buttons, Icon) override {
        return buttons == Buttons::Ok ? Answer::Ok
                                      : (buttons == Buttons::YesNo ? Answer::No : Answer::Cancel);
    }

  protected:
    void beginWait() override {}
    void endWait() override {}
};

template <typename T> void append(std::string& key, const T& value) {
    key.append(reinterpret_cast<const char*>(&value), sizeof value);
}

void appendText(std::string& key, const std::string& text) {
    append(key, text.size());
    key += text;
}

void appendStamp(std::string& key, const fs::path& file) {
    std::error_code ec;
    const auto size = fs::file_size(file, ec);
    append(key, ec ? std::uintmax_t(-1) : size);
    const auto time = fs::last_write_time(file, ec);
    append(key, ec ? 0 : time.time_since_epoch().count());
}

} // namespace

bool proofUsesMatchTable(const adjust::PictureAdjustSettings& settings) {
    std::error_code ec;
    return !settings.matchPath.empty() && fs::is_regular_file(settings.matchPath, ec);
}

std::string proofInputsKey(const ProofInputs& inputs) {
    std::string key;
    const adjust::PictureAdjustSettings& s = inputs.settings;
    for (int value : {s.contrast, s.tonePoints.left, s.tonePoints.bottom, s.tonePoints.right,
                      s.tonePoints.top, s.saturation, s.colorControl, s.edge, s.digitalCamera})
        append(key, value);
    append(key, s.satValue);
    append(key, s.edgeEnhanceR);
    appendText(key, s.matchPath.string());
    appendStamp(key, s.matchPath);

    const media::MediaCalibration& c = inputs.calibration;
    for (float value : {c.sensC, c.sensM, c.sensY})
        append(key, value);
    for (std::int16_t value : {c.tdtc, c.tdbc, c.tdtm, c.tdbm, c.tdty, c.tdby})
        append(key, value);
    append(key, c.rankIndex);
    for (const std::string& value : c.baseMedia)
        appendText(key, value);
    append(key, inputs.gamma.table);

    // The files a job reads at its start, whatever their spelling.
    appendText(key, inputs.programDirectory.string());
    std::error_code ec;
    for (fs::directory_iterator it(inputs.programDirectory, ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (platform::equalsNoCase(name, "kvx00.ini") ||
            platform::equalsNoCase(name, "basmedia.ini")) {
            appendText(key, name);
            appendStamp(key, it->path());
        }
    }
    return key;
}

std::optional<SheetProof> proofOfSheetFile(const fs::path& sheetFile, const ProofInputs& inputs) {
    SilentUi ui;
    const PrintInputs print{inputs.settings, proofUsesMatchTable(inputs.settings),
                            inputs.calibration, inputs.gamma, inputs.programDirectory};
    // Megabytes: on the heap, not on a worker's stack.
    auto images = std::make_unique<JobImages>();
    if (!preparePrintLevels(sheetFile, print, *images, ui))
        return std::nullopt;
    return proofOfSheet(LevelProof::forInputs(print), images->exposure);
}

} // namespace kv::render
