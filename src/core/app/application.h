#pragma once
// Identity of the program, shared by the desktop and the console.

#include "tessarin_version.h"

namespace tessarin::app {

inline constexpr const char* kAppTitle = "Tessarin";
inline constexpr const char* kVersion = TESSARIN_VERSION;
inline constexpr const char* kAboutText = "Tessarin, Version " TESSARIN_VERSION;
inline constexpr const char* kReadyText = "Ready";
inline constexpr const char* kAppId = "Tessarin.AppID.NoVersion";
// Settings location (recent files, visual style).
inline constexpr const char* kSettingsOrganisation = "Local AppWizard-Generated Applications";
inline constexpr const char* kSettingsApplication = "Tessarin";
inline constexpr int kRecentFileCount = 4;
inline constexpr int kDefaultApplicationLook = 210;

}  // namespace tessarin::app
