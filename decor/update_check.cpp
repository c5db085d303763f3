#include "decor/update_check.h"

#include <windows.h>

#include <cstdlib>

#include "core/environment.h"
#include "core/text.h"
#include "http/encoding.h"
#include "http/web_request.h"
#include "ui/dialogs.h"

namespace {

// Each phase of the request (resolve, connect, send, receive) gives up after this long; the
// whole fetch is bounded by kSkinUpdateFetchLimitMs anyway.
constexpr int kPhaseTimeoutSeconds = 2;

Text skinVersionText;

// The update page is a short article; anything larger is not one, and is not held at all.
constexpr unsigned long long kMaxUpdatePageBytes = 256 * 1024;

// The update page's text as received (before any charset conversion), empty on any failure.
// The whole fetch is bounded by kSkinUpdateFetchLimitMs inside the request itself: a plain http
// page is read on this thread and nothing of it outlives the call; over https a transfer still
// under way then is left to end by itself, holding nothing of ours.
Text FetchUpdatePage(const Text& url) {
    Text status;
    Bytes body;
    WebRequestOptions options;
    options.timeout_seconds = kPhaseTimeoutSeconds;
    options.status = &status;
    options.response_bytes = &body;
    options.max_bytes = kMaxUpdatePageBytes;
    options.deadline_ms = kSkinUpdateFetchLimitMs;
    WebRequest(url, 0, Text(), Text(), options);
    const int code = std::atoi(status.c_str());
    if (code < 200 || code >= 300)
        return Text();
    return BytesToText(body);
}

}  // namespace

void CheckSkinUpdate() {
    Text page = Utf8ToGbk(FetchUpdatePage(SkinUpdateUrl()));
    SkinUpdateInfo info = ReadSkinUpdatePage(page);
    skinVersionText = info.versionText;
    if (!(kLocalSkinModuleVersion < info.version))
        return;
    // Before the main window exists the box has no owner.
    ui::ShowMessage(BuildSkinUpdateMessage(info), MB_OK | MB_TASKMODAL, "发现皮肤新版本", nullptr);
    // The address comes from a web page: only a web address goes to the shell, never a local
    // program, file or other protocol.
    Text address = TrimBlanks(info.downloadAddress);
    if (IsWebAddress(address))
        ui::OpenAddress(address);
}

const Text& SkinVersionText() {
    return skinVersionText;
}

void ReleaseSkinVersionText() {
    Text().swap(skinVersionText);
}
