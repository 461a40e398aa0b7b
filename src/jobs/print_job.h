#pragma once

#include "adjust/picture_adjust_settings.h"
#include "albums/album_state.h"
#include "media/media_service.h"
#include "platform/ui.h"
#include "printer/printer_link.h"
#include "render/print_preparation.h"
#include "render/print_proof.h"
#include "shell/app_state.h"

#include <filesystem>
#include <memory>
#include <vector>

// The print job engine: the three commands that start a job and the job step that
// carries one sheet from its picture to the printer. It owns no timer and no
// window; its host arms the timer and pumps the events between raster lines.
namespace kv::jobs {

// What the engine asks of the window it runs in.
class JobHost {
  public:
    virtual ~JobHost() = default;
    // Run step() once, `ms` milliseconds from now (single shot).
    virtual void armTimer(int ms) = 0;
    // Between two raster lines: handle one pending event of the window. True when
    // it was ESC, which the host keeps from the window.
    virtual bool pumpOneEvent() = 0;
    // The raster transfer begins (true) or the job ended (false): the album bar's
    // "Neu" and "Löschen" are off while it runs, and the commands follow print busy.
    virtual void transferring(bool on) = 0;
    // A batch picture was loaded as the displayed picture and selected.
    virtual void batchPictureShown(int index) = 0;
};

// What a job works with; all of it lives for the run.
struct JobContext {
    shell::AppState& state;
    platform::Ui& ui;
    printer::PrinterLink& link;
    media::MediaContext media;
    const adjust::PictureAdjustSettings& settings;
    std::filesystem::path tempDir;
    std::filesystem::path bmxFile;
};

// How the last job ended, for the host and the tests.
enum class JobOutcome {
    None,       // no job ended yet, or one is still going
    Printed,    // the page was ended with EndPage 0x00
    BmxWritten, // the BMX file was written whole
    Cancelled,  // ESC: the page was dropped with EndPage 0xFF
    Failed,     // stopped by a failure or the user's No/Cancel (told as it happened)
};

class PrintJob {
  public:
    static constexpr int kArmMs = 100;       // commands and the next batch picture
    static constexpr int kNotReadyArmMs = 1; // printer momentarily busy before the transfer
    static constexpr int kLines = 774;
    static constexpr int kLastLine = kLines - 1;
    static constexpr std::uint32_t kReadyWaitMs = 15000;
    static constexpr std::uint32_t kPaperWaitMs = 30000;

    PrintJob(JobContext context, JobHost& host);
    ~PrintJob();
    PrintJob(const PrintJob&) = delete;
    PrintJob& operator=(const PrintJob&) = delete;

    // "Aktuelles Photo drucken": the start checks, then the timer.
    void printCurrent();
    // The debug command: the same job writes the BMX file instead of a page.
    void printToBmx();
    // "Stapeldruck" over the album whose name file is `nameFile`.
    void batchPrint(const std::filesystem::path& nameFile);
    // The timer fired: one sheet, from its picture to the end of its page.
    void step();

    bool batchActive() const { return m_batchActive; }
    int batchTotal() const { return m_batchTotal; }
    int batchRemaining() const { return m_batchRemaining; }
    // The pictures read for the batch, in the order they print.
    const std::vector<albums::PictureRow>& batchPictures() const { return m_batch; }
    bool bmxOnly() const { return m_bmxOnly; }
    bool colourMatching() const { return m_colourMatching; }
    JobOutcome lastOutcome() const { return m_outcome; }
    const render::JobImages& images() const { return workImages(); }

  private:
    enum class Flow { Continue, Stop };

    void arm(int ms);
    bool startChecks(); // find the printer, the colour table, the media check
    Flow loadBatchPicture();
    Flow batchPictureDone(); // counts it; re-arms for the next one or ends the batch
    std::optional<std::filesystem::path> chooseSource();
    Flow bringUp();
    Flow readyWait(); // from restart point R to the page start
    Flow paperWait(bool& restart);
    Flow transfer();
    void endPageAndFinish();
    void endJob(JobOutcome outcome, bool batchGoesOn = false);
    void continueBatch();
    render::PrintInputs inputs() const;
    // The job's pictures (megabytes) are made at the first sheet, not with the window,
    // and kept from then on.
    render::JobImages& workImages() const;
    platform::ProgressDisplay* progress() { return m_ctx.link.progress(); }
    void showProgress(int value);
    void redraw();

    JobContext m_ctx;
    JobHost& m_host;
    mutable std::unique_ptr<render::JobImages> m_images;
    // What the sheet's levels were made with, for the virtual printer's proof of the page.
    std::optional<render::LevelProof> m_proof;
    std::vector<albums::PictureRow> m_batch;

    bool m_batchActive = false;
    int m_batchTotal = 0;
    int m_batchRemaining = 0;
    bool m_picturePrepared = false;
    bool m_bmxOnly = false;
    bool m_pageStarted = false; // StartPage went out for the sheet in hand
    bool m_colourMatching = false;
    bool m_selected = false; // LPT_Select was sent in this step: EndJob releases
    bool m_armed = false;    // this step re-armed the timer
    JobOutcome m_outcome = JobOutcome::None;
};

} // namespace kv::jobs
