// Moving through the list: double-click, the arrow keys and the search, each of which shows
// the chosen font at once (description check, then preview).
#include <windows.h>

#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/catalogue_state.h"
#include "catalogue/scrape.h"
#include "core/pump.h"
#include "ui/properties.h"
#include "ui/window.h"

void ListDoubleClick() {
    if (!IsCatalogueLoaded() || CurrentFontId() == "0")
        return;
    StartDescriptionCheck();
    PumpPendingMessages();
    GeneratePreview();
    ui::FocusControl(kFontList);
    ui::ListScrollIntoView(kFontList, ui::ListCurrentRow(kFontList));
    PumpPendingMessages();
}

namespace {

bool g_stepping = false;  // a step of the arrow keys runs (window thread)

// Shows the current row (description check, then preview) until the row shown is the current
// one. Keys pressed meanwhile arrive in the step's message pumps: they move the row and return,
// and the loop goes on to the row they reached, so steps follow one another and never nest.
// A window closed meanwhile ends it (its fields can no longer be read).
void StepToCurrentRow() {
    g_stepping = true;
    for (;;) {
        PumpPendingMessages();
        if (!ui::MainWindow())
            break;
        int shown = ui::ListCurrentRow(kFontList);
        CheckFontDescription();
        PumpPendingMessages();
        if (!ui::MainWindow())
            break;
        GeneratePreview();
        ui::FocusControl(kFontList);
        ui::ListScrollIntoView(kFontList, ui::ListCurrentRow(kFontList));
        if (ui::ListCurrentRow(kFontList) == shown)
            break;
    }
    g_stepping = false;
}

}  // namespace

void ListKeyDown(int key) {
    if (!IsCatalogueLoaded() || CurrentFontId() == "0")
        return;
    if (key == VK_UP || key == VK_DOWN) {
        int row = ui::ListCurrentRow(kFontList) + (key == VK_UP ? -1 : 1);
        // At either end of the list there is no row to move to.
        if (row >= 0 && row < ui::ListRowCount(kFontList)) {
            ui::ListSetCurrentRow(kFontList, row);  // one row per key press, at once
            if (g_stepping)
                return;  // the running step goes on to this row
            StepToCurrentRow();
        }
    }
    PumpPendingMessages();
}

void FindFont() {
    if (RefuseWithoutChosenFont("字体查找"))
        return;
    int rows = ui::ListRowCount(kFontList);
    int start = ui::ListCurrentRow(kFontList) + 1;
    std::vector<Text> names;
    names.reserve(rows > start ? rows - start : 0);
    for (int row = start; row < rows; ++row)
        names.push_back(ui::ListGetCell(kFontList, row, 1));
    int found = FindFontRow(names, 0, ui::GetText(kSearchField));
    if (found < 0)
        return;
    int row = start + found;
    ui::ListSetCurrentRow(kFontList, row);
    ui::FocusControl(kFontList);
    ui::ListScrollIntoView(kFontList, row);
    StartDescriptionCheck();
    PumpPendingMessages();
    GeneratePreview();
}
