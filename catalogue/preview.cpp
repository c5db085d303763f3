// The preview: the service's form is filled from the main window's fields and posted; the
// answer names the rendered picture, which is fetched and shown.
#include "catalogue/catalogue.h"
#include "catalogue/catalogue_state.h"
#include "catalogue/scrape.h"
#include "catalogue/service_headers.h"
#include "core/pump.h"
#include "http/fetch_url.h"
#include "http/web_request.h"
#include "ui/properties.h"

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
    if (RefuseWithoutChosenFont(kTitle))
        return;
    ui::SetDisabled(kPreviewButton, true);
    Text form = BuildPreviewForm(ui::GetText(kFontIdField), ui::GetText(kFontSizeField),
                                 ui::GetText(kTextColourField), ui::GetText(kPictureWidthField),
                                 ui::GetText(kPictureHeightField),
                                 ui::GetText(kBackgroundColourField), ui::GetText(kContentField));
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
