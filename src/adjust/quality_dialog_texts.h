#pragma once

#include <string_view>

namespace kv::adjust::quality {

// The texts of the print-quality and image-quality dialogs exactly as the user
// sees them. Where the twins differ, the print-quality text comes first.

inline constexpr std::string_view kPrintQualityTitle = "Druckqualität";
inline constexpr std::string_view kImageQualityTitle = "Bildqualität";

inline constexpr std::string_view kToneGroup = "Farbtoneinstellung";
inline constexpr std::string_view kNo = "Nein";
inline constexpr std::string_view kToneFixed = "Festgelegt 20%";
inline constexpr std::string_view kManual = "Manuell";

inline constexpr std::string_view kSaturationGroup = "Sättigung ";

inline constexpr std::string_view kEdgeGroupPrint = "Kantenanpassung";
inline constexpr std::string_view kEdgeGroupImage = "Kantenerweiterung";
inline constexpr std::string_view kEdgeSoft = "Weich";
inline constexpr std::string_view kEdgeNormal = "Normal";
inline constexpr std::string_view kEdgeSharp = "Scharf";
inline constexpr std::string_view kEdgeRatio = "Verhaeltnis";

inline constexpr std::string_view kMatchGroup = "Farbanpassungstabelle";
inline constexpr std::string_view kMatchName = "Tabellenname:";

inline constexpr std::string_view kCameraPrint = "Digital  Camera  Image  Noise  Reduction";
inline constexpr std::string_view kCameraImage = "Reduktion von Bildfehlern der digitalen Kamera";

inline constexpr std::string_view kColourGroup = "Farbfeineinstellung";
inline constexpr std::string_view kCompensation = "FarbKompensieren";
inline constexpr std::string_view kCorrection = "FarbKorrektur";

inline constexpr std::string_view kOk = "OK";
inline constexpr std::string_view kCancel = "Abbrechen";

// Our own: a value the edits cannot take.
inline constexpr std::string_view kMsgToneRange =
    "Bitte geben Sie eine ganze Zahl zwischen 0 und 255 ein.";
inline constexpr std::string_view kMsgEnterInteger = "Bitte geben Sie eine ganze Zahl ein.";
inline constexpr std::string_view kMsgEnterNumber = "Bitte geben Sie eine Zahl ein.";

} // namespace kv::adjust::quality
