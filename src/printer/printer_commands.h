#pragma once

#include "printer/led_table.h"
#include "printer/printer_link.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <span>

namespace kv::printer {

// Main command bytes of the printer's command set (keyword 0x24 always).
namespace command {
inline constexpr std::uint8_t kReadValue = 0xFF;
inline constexpr std::uint8_t kReadStored = 0xFB;
inline constexpr std::uint8_t kWriteValue = 0xFE;
inline constexpr std::uint8_t kStartPage = 0x08;  // sub 0x00
inline constexpr std::uint8_t kRasterLine = 0x00; // sub 0x01
inline constexpr std::uint8_t kEndPage = 0x02;    // sub 0x01
} // namespace command

// Parameter numbers and stored addresses the program reads and writes.
namespace parameter {
inline constexpr std::uint8_t kWarmUpState = 0x06; // 3 = warmed up
inline constexpr std::uint8_t kPrintPair = 0x0C;   // 0x08, 0x07
inline constexpr std::uint8_t kPwmRed = 0x11;
inline constexpr std::uint8_t kPwmGreen = 0x12;
inline constexpr std::uint8_t kPwmBlue = 0x13;
inline constexpr std::uint8_t kHeaterTarget = 0x14; // 45 before every print
inline constexpr std::uint8_t kPageOffset = 0x15;   // 43 before every print
inline constexpr std::uint8_t kVoltage = 0x17;
inline constexpr std::uint8_t kLedMaskLow = 0x18;  // LEDs 1 to 8
inline constexpr std::uint8_t kLedMaskHigh = 0x19; // LEDs 9 to 16
inline constexpr std::uint8_t kPcbTemperature = 0x1B;
inline constexpr std::uint8_t kHeaterTemperature = 0x1D;
inline constexpr std::uint8_t kLedTable = 0x20;      // 213-byte write
inline constexpr std::uint8_t kLedTableRed = 0x21;   // + T, stored
inline constexpr std::uint8_t kLedTableGreen = 0x68; // + T, stored
inline constexpr std::uint8_t kLedTableBlue = 0xAF;  // + T, stored
} // namespace parameter

inline constexpr std::uint8_t kWarmedUp = 3;
inline constexpr std::uint8_t kHeaterTargetValue = 0x2D;
inline constexpr std::uint8_t kPageOffsetValue = 0x2B;
inline constexpr std::array<std::uint8_t, 2> kPrintPairValue = {0x08, 0x07};
inline constexpr std::uint8_t kEndPageComplete = 0x00;
inline constexpr std::uint8_t kEndPageCancel = 0xFF;
inline constexpr std::size_t kRasterLineBytes = CommandBlock::kDataSize; // 604 groups of 16

inline constexpr std::uint32_t kWarmUpTimeoutMs = 240000;
inline constexpr std::uint32_t kStartPageTimeoutMs = 15000;

// Codes of the printer command senders and of the command sequences, as their
// callers in the job engine and the service dialogs test them.
inline constexpr int kCommandSent = 1;
inline constexpr int kCommandFailed = -1;
inline constexpr int kSequenceOk = 0;
inline constexpr int kSequenceFailed = 1;

// Fill the shared command block for one command; nothing is sent.
void buildReadValue(CommandBlock& block, std::uint8_t parameter, std::uint16_t n);
void buildReadStored(CommandBlock& block, std::uint8_t address);
// `bytes` must fit the data area.
void buildWriteValue(CommandBlock& block, std::uint8_t parameter,
                     std::span<const std::uint8_t> bytes);

// Build and send; the Command_set code (0 = success). A reply is in block().data().
std::uint32_t readValue(PrinterLink& link, std::uint8_t parameter, std::uint16_t n);
std::uint32_t readStored(PrinterLink& link, std::uint8_t address);
std::uint32_t writeValue(PrinterLink& link, std::uint8_t parameter,
                         std::span<const std::uint8_t> bytes);

// The guarded single command: sends the block as built when the printer is
// Ready. Not Ready: "Fotodrucker ist nicht bereit."; a failed send: "Fehler beim
// Absenden des Befehls."; both plain, both kCommandFailed. Else kCommandSent.
int sendGuarded(PrinterLink& link);
int guardedReadValue(PrinterLink& link, std::uint8_t parameter, std::uint16_t n);
int guardedReadStored(PrinterLink& link, std::uint8_t address);
int guardedWriteValue(PrinterLink& link, std::uint8_t parameter,
                      std::span<const std::uint8_t> bytes);

// Sets heater target, page offset and the print pair to what printing needs,
// writing only what differs. kSequenceOk, or kSequenceFailed after the message.
int checkPrintParameters(PrinterLink& link);

// Polls the warm-up state until the printer reports 3, for at most 240 s, with
// the status strip showing the warm-up. kSequenceOk or kSequenceFailed.
int waitWarmUp(PrinterLink& link);

// Waits up to 15 s for Ready or Fault, then starts the page. kCommandSent or
// kCommandFailed; a Fault fails without a message (the job engine asks later).
int startPage(PrinterLink& link);

// One raster line of kRasterLineBytes bytes. The Command_set code.
std::uint32_t sendRasterLine(PrinterLink& link, const std::uint8_t* line);

// 10 ms, then the end of the page: kEndPageComplete or kEndPageCancel. The
// Command_set code.
std::uint32_t endPage(PrinterLink& link, std::uint8_t code);

enum class LedUploadResult {
    Sent,        // the table reached the printer
    SendFailed,  // the guarded write failed (message shown)
    NotComputed, // TEMPERA.TUR damaged or T out of range: nothing sent (message shown)
};

// Reads TEMPERA.TUR from `programDir` into `table`, reads the printer's PWM
// values, computes and sends the table, and once the printer took it writes the
// dump "b10" (a failed send leaves the last dump as it was).
LedUploadResult uploadLedTable(PrinterLink& link, const std::filesystem::path& programDir,
                               LedTable& table);

// The bracket every caller outside the service dialog puts around the upload:
// select, two resets, 3 s for the printer to settle, upload, then `releases`
// release sequences (2 from the print commands, 1 from the media dialogs).
LedUploadResult uploadLedTableBracketed(PrinterLink& link, const std::filesystem::path& programDir,
                                        LedTable& table, int releases);

} // namespace kv::printer
