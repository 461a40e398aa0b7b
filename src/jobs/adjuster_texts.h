#pragma once

#include <string_view>

// The printer adjuster's German texts, exactly as the service dialog shows them.
namespace kv::jobs::adjuster_text {

inline constexpr std::string_view kTitle = "Anpasser";
inline constexpr std::string_view kStoredHeading = "Gespeichert";
inline constexpr std::string_view kNewHeading = "Neu";
inline constexpr std::string_view kSave = "Speichern";
inline constexpr std::string_view kStandard = "Standard";
inline constexpr std::string_view kOk = "OK";
inline constexpr std::string_view kLedGroup = "LED-Einstellung";

inline constexpr std::string_view kRowRed = "LED Rot    PWM";
inline constexpr std::string_view kRowGreen = "LED Grün   PWM";
inline constexpr std::string_view kRowBlue = "LED Blau   PWM";
inline constexpr std::string_view kRowTemperature = "Temperatur";
inline constexpr std::string_view kRowVoltage = "Spannung";
inline constexpr std::string_view kRowHeaterTarget = "Heater Target";
inline constexpr std::string_view kRowPageOffset = "Seitenversatz";
inline constexpr std::string_view kRowPcbTemperature = "PCB      Temperatur";
inline constexpr std::string_view kRowHeaterTemperature = "Heater Temperatur";

inline constexpr std::string_view kMsgReadFailed = "Fehler beim Abrufen des Fotodrucker-Status.";
inline constexpr std::string_view kMsgWriteFailed =
    "Fehler beim Einstellen des Fotodrucker-Status.";
// Our own: a new value that is not a byte is refused before anything is sent.
inline constexpr std::string_view kMsgNotAByte =
    "Bitte geben Sie eine ganze Zahl zwischen 0 und 255 ein.";

} // namespace kv::jobs::adjuster_text
