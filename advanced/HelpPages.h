#pragma once
// The maker's help pages, by their site paths, as shipped with the program: the site is not
// reachable at a bench without a network, so the pages travel in the program's resources.

#include <QUrl>

inline constexpr const char* kProgramHelpPath = "/kelvora-help/";
inline constexpr const char* kUpdateHelpPath = "/kpx_update/";
inline constexpr const char* kCalibrationHelpPath = "/kpx-calibration/";

// The shipped page of a site path such as "/kpx_update/".
QUrl HelpPageUrl(const char* aPath);
