// Loading the catalogue: the service's home page is read in a worker thread and its font
// <select> becomes the rows of the list, while the window thread keeps processing messages.
#include <windows.h>

#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/catalogue_state.h"
#include "catalogue/scrape.h"
#include "catalogue/service_headers.h"
#include "core/pump.h"
#include "http/web_request.h"
#include "ui/properties.h"
#include "ui/threads.h"
#include "ui/window.h"

namespace {

// Rows go to the list in batches, one cross-thread call each; the window thread answers other
// messages between batches. A batch of 1,000 rows keeps the window thread a few milliseconds
// (well within what a user notices), while each cross-thread call and the pump after it cost
// about as much as inserting a few dozen rows: with batches of 100, a 10,000-font list took
// some 15-20 ms longer to fill under Wine. The list is redrawn after the first batch, then a
// few times a second and after the last: each redraw costs as much as inserting a few hundred
// rows, so the list fills fast and still visibly.
constexpr size_t kRowsPerBatch = 1000;
constexpr DWORD kRepaintEveryMs = 250;

void LoadFontCatalogue() {
    Text page = WebRequest(CatalogueRootUrl(), 0, Text(), CatalogueHeaders());
    std::vector<FontRow> rows;
    if (!ParseFontRows(page, &rows))
        return;  // no font section: the list stays empty

    ui::SetCaption(kInitButton, kCaptionFilling);
    if (HWND main = ui::MainWindow())
        SetForegroundWindow(main);

    std::vector<std::vector<Text>> batch;
    bool painted = false;
    DWORD lastPaint = 0;
    for (size_t i = 0; i < rows.size(); ++i) {
        batch.push_back({rows[i].ordinal, rows[i].name, rows[i].id});
        const bool last = i + 1 == rows.size();
        if (batch.size() == kRowsPerBatch || last) {
            ui::ListAppendRows(nullptr, kFontList, batch, false);
            batch.clear();
            PumpPendingMessages();
            // The redraw is a call of its own, so that the window thread answers what came in
            // meanwhile between the rows and the painting.
            if (last || !painted || GetTickCount() - lastPaint >= kRepaintEveryMs) {
                ui::ListAppendRows(nullptr, kFontList, {}, true);
                painted = true;
                lastPaint = GetTickCount();
                PumpPendingMessages();
            }
        }
    }
    ui::TrimWorkingSet();
}

}  // namespace

bool IsCatalogueLoaded() {
    return ui::GetCaption(kInitButton) == kCaptionLoaded;
}

Text CurrentFontId() {
    int row = ui::ListCurrentRow(kFontList);
    return row < 0 ? Text() : ui::ListGetCell(kFontList, row, 2);
}

void InitialiseFontList() {
    ui::SetDisabled(kInitButton, true);
    ui::ListClear(kFontList);
    ui::SetCaption(kInitButton, kCaptionRequesting);
    bool finished = ui::WaitForThreadPumping(ui::RunInThread(LoadFontCatalogue).Get(), 0);
    ui::SetDisabled(kInitButton, false);
    // An empty list after a failed request still counts as loaded; a wait that failed (the
    // thread could not start) leaves the button usable for another try.
    ui::SetCaption(kInitButton, finished ? kCaptionLoaded : kCaptionIdle);
}
