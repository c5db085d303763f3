// The messages the catalogue features show, and the refusal the preview and the search share.
#include <windows.h>

#include "catalogue/catalogue_state.h"
#include "ui/dialogs.h"

void ShowFeatureMessage(const Text& text, const Text& title) {
    ui::ShowMessage(text, MB_ICONINFORMATION | MB_TASKMODAL, title);
}

void ShowFeatureMessage(const std::wstring& text, const Text& title) {
    ui::ShowMessage(text, MB_ICONINFORMATION | MB_TASKMODAL, title);
}

bool RefuseWithoutChosenFont(const Text& title) {
    if (!IsCatalogueLoaded()) {
        ShowFeatureMessage("请先初始化字体", title);
        return true;
    }
    if (CurrentFontId() == "0") {
        ShowFeatureMessage("请选择字体", title);
        return true;
    }
    return false;
}
