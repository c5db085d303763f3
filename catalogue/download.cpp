// Saving a font and saving the preview picture. The font is fetched in a worker thread that
// the cancel button can stop by aborting the transfer; a file is written only when every byte
// of a successful answer has arrived.
#include <windows.h>

#include <atomic>

#include "catalogue/catalogue.h"
#include "catalogue/catalogue_state.h"
#include "catalogue/file_writer.h"
#include "catalogue/scrape.h"
#include "catalogue/service_headers.h"
#include "core/codepage.h"
#include "core/pump.h"
#include "http/fetch_url.h"
#include "http/inet_request.h"
#include "ui/dialogs.h"
#include "ui/properties.h"
#include "ui/threads.h"

namespace {

using codepage::Wide;

constexpr char kDownloadTitle[] = "字体下载";
constexpr char kPictureTitle[] = "图片下载";
constexpr char kFailed[] = "失败！\r\n请重新下载";
constexpr char kDownloadingTitle[] = "览字坊    字体下载中……";
constexpr char kSavingPictureTitle[] = "览字坊    图片下载中……";

InetCancelToken g_cancel;
std::atomic<bool> g_downloading{false};

std::wstring SuccessMessage(const std::wstring& path) {
    return Wide("恭喜！\r\n你下载的") + path + Wide("已下载完成");
}

// The shared save dialog, starting on the desktop with the current font's name made safe
// as a file name. Empty when the user cancelled.
std::wstring AskSavePath(const char* title, const char* filter, const char* extension) {
    ui::SaveDialogRequest dialog;
    dialog.title = title;
    dialog.fileName = SafeFileName(ui::GetText(kFontNameField));
    dialog.filter = filter;
    dialog.initialFolder = ui::DesktopFolder();
    dialog.defaultExtension = extension;
    return ui::ShowSaveDialog(kSaveDialog, dialog);
}

void DownloadFontFile() {
    ui::SetDisabled(kDownloadButton, true);
    std::wstring path = AskSavePath("字体下载【览字坊】", "字体文件|*.ttf", "ttf");
    if (path.empty()) {
        ui::SetWindowTitle(kProgramTitle);
        ui::SetDisabled(kDownloadButton, false);
        return;
    }
    g_cancel.Reset();
    g_downloading = true;
    ui::SetWindowTitle(kDownloadingTitle);
    ui::SetVisible(kCancelButton, true);

    Text id = ui::GetText(kFontIdField);
    Text body = "id=" + id;
    InetResult result;
    Bytes font = InetRequest(CatalogueUrl("Download/" + id), 1, body, DownloadHeaders(body.size()),
                             {.result = &result, .cancel = &g_cancel});
    g_downloading = false;
    if (result.cancelled || g_cancel.IsCancelled())
        return;  // the cancel button restored all

    bool ok =
        result.status == 200 && result.complete && !font.empty() && WriteFileWhole(path, font);
    ui::SetWindowTitle(kProgramTitle);
    ui::SetVisible(kCancelButton, false);
    if (ok)
        ShowFeatureMessage(SuccessMessage(path), kDownloadTitle);
    else
        ShowFeatureMessage(kFailed, kDownloadTitle);
    ui::SetDisabled(kDownloadButton, false);
}

}  // namespace

void StartFontDownload() {
    HANDLE worker = ui::RunInThread(DownloadFontFile);
    if (!ui::WaitForThreadPumping(worker, 0)) {
        if (worker)
            CloseHandle(worker);
        return;
    }
    CloseHandle(worker);
    PumpPendingMessages();
}

void CancelFontDownload() {
    if (!g_downloading)
        return;
    g_cancel.Cancel();
    ui::SetWindowTitle(kProgramTitle);
    ui::SetVisible(kCancelButton, false);
    ui::SetDisabled(kDownloadButton, false);
}

void SavePreviewPicture() {
    if (PreviewImageUrl().empty()) {
        ShowFeatureMessage("请先预览字体", kPictureTitle);
        return;
    }
    ui::SetDisabled(kSavePictureButton, true);
    std::wstring path = AskSavePath("保存图片【览字坊】", "PNG文件|*.PNG|所有文件|*.*", "PNG");
    if (path.empty()) {
        ui::SetWindowTitle(kProgramTitle);
    } else {
        ui::SetWindowTitle(kSavingPictureTitle);
        FetchResult fetched;
        Bytes picture = FetchUrlBytes(PreviewImageUrl(), &fetched);
        bool ok = fetched.status == 200 && fetched.complete && !picture.empty() &&
                  WriteFileWhole(path, picture);
        ui::SetWindowTitle(kProgramTitle);
        if (ok)
            ShowFeatureMessage(SuccessMessage(path), kPictureTitle);
        else
            ShowFeatureMessage(kFailed, kPictureTitle);
    }
    ui::SetDisabled(kSavePictureButton, false);
}
