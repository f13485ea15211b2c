// Every registry value the plug-in and the setup program share or use: keys,
// value names, full paths (key path, backslash, value name) and defaults.
// All keys lie in the current user's hive. Full paths come in wide text (the
// plug-in) and 8-bit text (the setup program, suffix A).
#pragma once

#include <cstdint>

#define ORVELLA_SETTINGS_KEY "Software\\Corvan\\Orvella\\OrvellaForNST"
#define ORVELLA_STARTUP_KEY "Software\\Corvan\\Orvella\\Startup"

namespace orvella {

// The plug-in's settings key; only the setup program writes it.
inline constexpr wchar_t kSettingsKey[] = L"" ORVELLA_SETTINGS_KEY;
inline constexpr char kSettingsKeyA[] = ORVELLA_SETTINGS_KEY;

// Switches (numbers, 0 or 1; any nonzero number reads as on).
inline constexpr wchar_t kExtendedTradePath[] = L"" ORVELLA_SETTINGS_KEY "\\ExtendedTrade";
inline constexpr char kExtendedTradePathA[] = ORVELLA_SETTINGS_KEY "\\ExtendedTrade";
inline constexpr int32_t kDefaultExtendedTrade = 0;

inline constexpr wchar_t kStreamingPath[] = L"" ORVELLA_SETTINGS_KEY "\\Streaming";
inline constexpr char kStreamingPathA[] = ORVELLA_SETTINGS_KEY "\\Streaming";
inline constexpr int32_t kDefaultStreaming = 0;

inline constexpr wchar_t kContinuousPath[] = L"" ORVELLA_SETTINGS_KEY "\\Continuous";
inline constexpr char kContinuousPathA[] = ORVELLA_SETTINGS_KEY "\\Continuous";
inline constexpr int32_t kDefaultContinuous = 0;

inline constexpr wchar_t kMeridexSpotPath[] = L"" ORVELLA_SETTINGS_KEY "\\MeridexSpot";
inline constexpr char kMeridexSpotPathA[] = ORVELLA_SETTINGS_KEY "\\MeridexSpot";
inline constexpr int32_t kDefaultMeridexSpot = 0;

inline constexpr wchar_t kMeridexSpotCompositePath[] =
    L"" ORVELLA_SETTINGS_KEY "\\MeridexSpotComposite";
inline constexpr char kMeridexSpotCompositePathA[] = ORVELLA_SETTINGS_KEY "\\MeridexSpotComposite";
inline constexpr int32_t kDefaultMeridexSpotComposite = 0;

// On (also when the value is absent): a lost level-one connection is made
// again in the background and the gap in every streaming chart is filled from
// history. A stored 0 keeps it off: the connection is opened once and never
// again.
inline constexpr wchar_t kReconnectPath[] = L"" ORVELLA_SETTINGS_KEY "\\Reconnect";
inline constexpr char kReconnectPathA[] = ORVELLA_SETTINGS_KEY "\\Reconnect";
inline constexpr int32_t kDefaultReconnect = 1;

inline constexpr wchar_t kLoggingPath[] = L"" ORVELLA_SETTINGS_KEY "\\Logging";
inline constexpr char kLoggingPathA[] = ORVELLA_SETTINGS_KEY "\\Logging";
inline constexpr int32_t kDefaultLogging = 0;

// Trade-time filter: time texts, six digits HHMMSS, US Eastern time.
inline constexpr wchar_t kBeginFilterTimePath[] = L"" ORVELLA_SETTINGS_KEY "\\BeginFilterTime";
inline constexpr char kBeginFilterTimePathA[] = ORVELLA_SETTINGS_KEY "\\BeginFilterTime";
inline constexpr wchar_t kDefaultBeginFilterTime[] = L"000000";
inline constexpr char kDefaultBeginFilterTimeA[] = "000000";

inline constexpr wchar_t kEndFilterTimePath[] = L"" ORVELLA_SETTINGS_KEY "\\EndFilterTime";
inline constexpr char kEndFilterTimePathA[] = ORVELLA_SETTINGS_KEY "\\EndFilterTime";
inline constexpr wchar_t kDefaultEndFilterTime[] = L"235959";
inline constexpr char kDefaultEndFilterTimeA[] = "235959";

// Where the symbol file is downloaded from: a host name and the file's path
// (no scheme, no port), and the web host's TCP port.
#define ORVELLA_DEFAULT_WEBSITE "symbols.corvan.example/product/mktlist_v2.txt"
inline constexpr wchar_t kWebsitePath[] = L"" ORVELLA_SETTINGS_KEY "\\Website";
inline constexpr char kWebsitePathA[] = ORVELLA_SETTINGS_KEY "\\Website";
inline constexpr wchar_t kDefaultWebsite[] = L"" ORVELLA_DEFAULT_WEBSITE;
inline constexpr char kDefaultWebsiteA[] = ORVELLA_DEFAULT_WEBSITE;
#undef ORVELLA_DEFAULT_WEBSITE

inline constexpr wchar_t kPortPath[] = L"" ORVELLA_SETTINGS_KEY "\\Port";
inline constexpr char kPortPathA[] = ORVELLA_SETTINGS_KEY "\\Port";
inline constexpr int32_t kDefaultPort = 80;

// The charting host's install directory; the setup program stores it only
// when it names an existing directory.
inline constexpr wchar_t kNovaScopeRootPath[] = L"" ORVELLA_SETTINGS_KEY "\\NovaScopeRoot";
inline constexpr char kNovaScopeRootPathA[] = ORVELLA_SETTINGS_KEY "\\NovaScopeRoot";
inline constexpr wchar_t kDefaultNovaScopeRoot[] = L"";
inline constexpr char kDefaultNovaScopeRootA[] = "";

// The feed client's startup key and its two port values (decimal texts),
// read through CCorvanPorts, which writes the default back when a value is
// missing or malformed.
inline constexpr wchar_t kStartupKey[] = L"" ORVELLA_STARTUP_KEY;
inline constexpr char kStartupKeyA[] = ORVELLA_STARTUP_KEY;
inline constexpr wchar_t kLookupPortName[] = L"LookupPort";
inline constexpr wchar_t kDefaultLookupPortText[] = L"9100";
inline constexpr uint16_t kDefaultLookupPort = 9100;
inline constexpr wchar_t kLevel1PortName[] = L"Level1Port";
inline constexpr wchar_t kDefaultLevel1PortText[] = L"5009";
inline constexpr uint16_t kDefaultLevel1Port = 5009;

}  // namespace orvella

#undef ORVELLA_SETTINGS_KEY
#undef ORVELLA_STARTUP_KEY
