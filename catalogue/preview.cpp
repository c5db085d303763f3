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

// A preview runs in the window thread's message pumps of its requests, where another may be
// asked for (a key, a double-click, a search): that one does not run inside it but is noted,
// the running one drops its now older answer and runs again with the fields as they are then.
bool g_previewRunning = false;
bool g_previewWanted = false;

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
    if (g_previewRunning) {
        g_previewWanted = true;
        return;
    }
    g_previewRunning = true;
    ui::SetDisabled(kPreviewButton, true);
    do {
        g_previewWanted = false;
        Text form = BuildPreviewForm(
            ui::GetText(kFontIdField), ui::GetText(kFontSizeField), ui::GetText(kTextColourField),
            ui::GetText(kPictureWidthField), ui::GetText(kPictureHeightField),
            ui::GetText(kBackgroundColourField), ui::GetText(kContentField));
        Text answer = WebRequest(CatalogueRootUrl(), 1, form, CatalogueHeaders());
        if (g_previewWanted)
            continue;
        Text url = ExtractPreviewImageUrl(answer);
        if (url.empty())
            continue;
        FetchResult fetched;
        Bytes picture = FetchUrlBytes(url, &fetched);
        if (g_previewWanted)
            continue;
        g_previewImageUrl = url;
        // A picture that cannot be fetched clears the box rather than leaving an old font's
        // picture under the new font's name.
        if (fetched.status != 200 || !fetched.complete)
            picture.clear();
        ui::SetPicture(kPreviewPicture, picture);
        PumpPendingMessages();
    } while (g_previewWanted);
    g_previewRunning = false;
    ui::SetDisabled(kPreviewButton, false);
}
