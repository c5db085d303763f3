// The skin update check run at every start: the update page announces the newest skin module's
// version, date, size, download address and release notes between fixed markers; when the
// announced version is newer than the one carried here, the user is told what changed and the
// download address is opened in the browser.
#pragma once

#include "core/types.h"

// The version of the skin module this program carries.
inline constexpr float kLocalSkinModuleVersion = 3.4f;

// The whole update page fetch is bounded by this; a page that takes longer counts as none.
inline constexpr unsigned kSkinUpdateFetchLimitMs = 4000;

inline constexpr int kSkinUpdateItemCount = 10;

// The values of an update page (GBK texts).
struct SkinUpdateInfo {
    float version = 0;  // announced version, 0 when the page has none
    Text updateTime;
    Text updateSize;
    Text versionText;
    Text items[kSkinUpdateItemCount];
    Text downloadAddress;
};

// Cuts the values out of a page already converted to GBK.
SkinUpdateInfo ReadSkinUpdatePage(const Text& page);

// The leading number of a text the way C's atof reads it, after full-width digits, point,
// signs and blanks have been folded to ASCII; 0 when the text does not start with a number.
float ReadVersionNumber(const Text& text);

// The text of the update message box: "〔青岚皮肤模块〕", time, size, version, ten "※" lines.
Text BuildSkinUpdateMessage(const SkinUpdateInfo& info);

// True for an absolute http:// or https:// address with a host (scheme in any case). Only such
// an address is handed to the shell: anything else could start a local program or file.
bool IsWebAddress(const Text& address);

// Fetches SkinUpdateUrl() (bounded by kSkinUpdateFetchLimitMs and 256 KiB: a larger page
// counts as none; silent on failure), and when it
// announces a version above kLocalSkinModuleVersion shows the message (task-modal, OK only,
// no owner, title "发现皮肤新版本") and then opens the download address if it is a web address.
void CheckSkinUpdate();

// The announced version text of the last check, kept until exit.
const Text& SkinVersionText();
void ReleaseSkinVersionText();
