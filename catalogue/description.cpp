// The description check: the service says whether the current font may be downloaded, and the
// download button follows. Checks started by row changes run in detached threads; only the
// answer for the row that is still current when it arrives is applied, and while a download
// runs it is held until the download ends.
#include <windows.h>

#include <atomic>
#include <optional>

#include "catalogue/catalogue.h"
#include "catalogue/catalogue_state.h"
#include "catalogue/scrape.h"
#include "catalogue/service_headers.h"
#include "http/web_request.h"
#include "ui/properties.h"
#include "ui/threads.h"

namespace {

// Every check takes the next number; an answer is applied only while its number is the
// newest and its font is still the current row's.
std::atomic<unsigned> g_checkNumber{0};
std::atomic<int> g_runningChecks{0};

struct PendingCheck {
    unsigned number;
    Text id;
};

bool AskAllowsDownload(const Text& id) {
    Text answer = WebRequest(CatalogueUrl("FontDesc/" + id), 0, Text(), DescriptionHeaders());
    return DescriptionAllowsDownload(answer);
}

struct HeldAnswer {
    PendingCheck check;
    bool allowed;
};
std::optional<HeldAnswer> g_heldAnswer;  // window thread

bool IsNewest(const PendingCheck& check) {
    return check.number == g_checkNumber.load() && CurrentFontId() == check.id;
}

void ApplyAnswer(const PendingCheck& check, bool allowed) {
    // On the window thread, so a download cannot start between the decision and the write.
    ui::RunOnWindowThread([&] {
        if (!IsNewest(check))
            return;
        if (DownloadRunning())
            g_heldAnswer = HeldAnswer{check, allowed};
        else
            ui::SetDisabled(kDownloadButton, !allowed);
    });
}

// Copies the current row's name and id into 字体 and ID (so a preview started next is built
// from them) and returns the check to run for that id.
PendingCheck TakeCurrentRow() {
    int row = ui::ListCurrentRow(kFontList);
    Text name = row < 0 ? Text() : ui::ListGetCell(kFontList, row, 1);
    Text id = row < 0 ? Text() : ui::ListGetCell(kFontList, row, 2);
    ui::SetText(kFontNameField, name);
    ui::SetText(kFontIdField, id);
    return {++g_checkNumber, id};
}

}  // namespace

void RestoreDownloadButton() {
    bool enabled = !g_heldAnswer || !IsNewest(g_heldAnswer->check) || g_heldAnswer->allowed;
    g_heldAnswer.reset();
    ui::SetDisabled(kDownloadButton, !enabled);
}

int RunningDescriptionChecks() {
    return g_runningChecks.load();
}

void CheckFontDescription() {
    PendingCheck check = TakeCurrentRow();
    ApplyAnswer(check, AskAllowsDownload(check.id));
}

void StartDescriptionCheck() {
    int row = ui::ListCurrentRow(kFontList);
    if (row < 0 || ui::ListGetCell(kFontList, row, 1).empty() ||
        ui::ListGetCell(kFontList, row, 2).empty())
        return;
    PendingCheck check = TakeCurrentRow();
    ++g_runningChecks;
    // Not waited for: the handle is closed at once and the thread ends on its own.
    ui::OwnedHandle thread = ui::RunInThread([check] {
        ApplyAnswer(check, AskAllowsDownload(check.id));
        --g_runningChecks;
    });
    if (!thread)
        --g_runningChecks;
}
