// The preview: the service's form is filled from the main window's fields and posted; the
// answer names the rendered picture, which is fetched and shown.
#include "app/ui/properties.h"
#include "catalogue/catalogue.h"
#include "catalogue/catalogue_state.h"
#include "catalogue/scrape.h"
#include "catalogue/service_headers.h"
#include "core/pump.h"
#include "http/fetch_url.h"
#include "http/web_request.h"

namespace {

constexpr char kTitle[] = "字体图生成";

Text g_previewImageUrl;

}  // namespace

const Text& PreviewImageUrl() {
    return g_previewImageUrl;
}

void SetPreviewImageUrl(const Text& url) {
    g_previewImageUrl = url;
}

void GeneratePreview() {
    if (!IsCatalogueLoaded()) {
        ShowFeatureMessage("请先初始化字体", kTitle);
        return;
    }
    if (CurrentFontId() == "0") {
        ShowFeatureMessage("请选择字体", kTitle);
        return;
    }
    ui::SetDisabled(kPreviewButton, true);
    Text form =
        BuildPreviewForm(ui::GetText(kFontIdField), ui::GetText("编辑框1"), ui::GetText("编辑框4"),
                         ui::GetText("编辑框2"), ui::GetText("编辑框3"), ui::GetText("编辑框5"),
                         ui::GetText("编辑框6"));
    Text answer = WebRequest(CatalogueRootUrl(), 1, form, CatalogueHeaders());
    Text url = ExtractPreviewImageUrl(answer);
    if (!url.empty()) {
        g_previewImageUrl = url;
        // A picture that cannot be fetched clears the box rather than leaving an old font's
        // picture under the new font's name.
        FetchResult fetched;
        Bytes picture = FetchUrlBytes(url, &fetched);
        if (fetched.status != 200 || !fetched.complete)
            picture.clear();
        ui::SetPicture(kPreviewPicture, picture);
        PumpPendingMessages();
    }
    ui::SetDisabled(kPreviewButton, false);
}
