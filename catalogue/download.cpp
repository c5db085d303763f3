// Saving a font and saving the preview picture. The save dialog and the messages belong to the
// window thread; only the font's transfer and the writing of its file run in a worker thread,
// which the cancel button (or closing the window) stops by aborting the transfer. A file is
// written only when every byte of a successful answer has arrived.
#include <windows.h>

#include <atomic>
#include <string_view>

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
#include "ui/handles.h"
#include "ui/properties.h"
#include "ui/threads.h"
#include "ui/window.h"

namespace {

using codepage::Wide;

constexpr char kDownloadTitle[] = "字体下载";
constexpr char kPictureTitle[] = "图片下载";
constexpr char kFailed[] = "失败！\r\n请重新下载";
constexpr char kDownloadingTitle[] = "览字坊    字体下载中……";
constexpr char kSavingPictureTitle[] = "览字坊    图片下载中……";

// One font download. It lives in the frame of the StartFontDownload that began it, and owns
// its own cancel: a cancel never reaches another download.
class FontDownload {
  public:
    std::wstring path;
    Text id;
    InetCancelToken transfer;
    bool saved = false;  // written by the worker, read once `decided` is set
    // Set by the worker when the outcome is known (saved, failed or cancelled), before it gives
    // back the received bytes: the user's message does not wait for the system to take back a
    // buffer the size of the font. After that the worker no longer touches this object.
    ui::OwnedHandle decided{CreateEventW(nullptr, TRUE, FALSE, nullptr)};

    // Whichever comes first wins: the cancel (the button, the window closing) or the finish
    // (every byte written, the file about to replace the chosen one). A cancel that loses is
    // ignored: the download ends with its message a moment later.
    bool Cancel() {
        int running = kRunning;
        if (!state_.compare_exchange_strong(running, kCancelled))
            return false;
        transfer.Cancel();
        return true;
    }
    bool Finish() {
        int running = kRunning;
        return state_.compare_exchange_strong(running, kFinishing);
    }
    bool Cancelled() const { return state_.load() == kCancelled; }

  private:
    enum { kRunning, kCancelled, kFinishing };
    std::atomic<int> state_{kRunning};
};

FontDownload* g_download = nullptr;  // the running one; window thread

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

// The transfer and the file; returns the received bytes for the caller to release. Over the
// program's own connection the font is written to the partial file as it arrives rather than
// held whole; otherwise (https, a proxy, a compressed answer) the received bytes are written
// once they are all here. Either way the chosen file is replaced only by a whole 200 answer,
// and the partial file is gone before the outcome is told.
Bytes TransferAndSave(FontDownload& download) {
    Text body = "id=" + download.id;
    InetResult result;
    PartialFile file(download.path);
    auto write = [&file](std::string_view bytes) { return file.Write(bytes.data(), bytes.size()); };
    Bytes font =
        InetRequest(CatalogueUrl("Download/" + download.id), 1, body, DownloadHeaders(body.size()),
                    {.result = &result, .cancel = &download.transfer, .body_sink = write});
    if (result.cancelled || download.Cancelled())
        return font;
    const bool whole = result.status == 200 && result.complete;
    auto mayReplace = [&] { return download.Finish(); };
    if (result.sunk)
        download.saved = whole && file.Size() > 0 && file.Commit(mayReplace);
    else
        download.saved = whole && !font.empty() && WriteFileWhole(download.path, font, mayReplace);
    return font;
}

// The worker: the transfer and the file, nothing on the window.
void DownloadFontFile(FontDownload& download) {
    Bytes font = TransferAndSave(download);
    SetEvent(download.decided.Get());
}  // the bytes go back to the system here, while the window thread goes on

}  // namespace

bool DownloadRunning() {
    return g_download != nullptr;
}

void StartFontDownload() {
    if (g_download)
        return;  // one at a time (the button is disabled meanwhile)
    FontDownload download;
    g_download = &download;
    ui::SetDisabled(kDownloadButton, true);
    // The dialog is shown here rather than by the worker: a dialog on a new thread each time
    // sets up the shell's object machinery for that thread anew, and the system gives that
    // back only when the process ends (under Wine the 64th such dialog never opens).
    download.path = AskSavePath("字体下载【览字坊】", "字体文件|*.ttf", "ttf");
    if (download.path.empty()) {
        ui::SetWindowTitle(kProgramTitle);
        g_download = nullptr;
        RestoreDownloadButton();
        return;
    }
    ui::SetWindowTitle(kDownloadingTitle);
    ui::SetVisible(kCancelButton, true);
    download.id = ui::GetText(kFontIdField);

    ui::OwnedHandle worker = ui::RunInThread([&download] { DownloadFontFile(download); });
    // Without its event (the system had none to give) the wait is for the worker's end.
    if (worker)
        ui::WaitForThreadPumping(download.decided ? download.decided.Get() : worker.Get(), 0);
    worker.Reset();
    // A cancel (the button, or the window closing) has restored everything already.
    if (download.Cancelled() || !ui::MainWindow()) {
        if (g_download == &download)
            g_download = nullptr;
        return;
    }
    ui::SetWindowTitle(kProgramTitle);
    ui::SetVisible(kCancelButton, false);
    if (download.saved)
        ShowFeatureMessage(SuccessMessage(download.path), kDownloadTitle);
    else
        ShowFeatureMessage(kFailed, kDownloadTitle);
    // Still running until here: a description check answering while the message is up must
    // not enable the button under it.
    g_download = nullptr;
    RestoreDownloadButton();
    PumpPendingMessages();
}

void CancelFontDownload() {
    if (!g_download || !g_download->Cancel())
        return;
    g_download = nullptr;
    ui::SetWindowTitle(kProgramTitle);
    ui::SetVisible(kCancelButton, false);
    RestoreDownloadButton();
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
        // The window closed while the picture came: the save ends with it, silently.
        if (!ui::MainWindow())
            return;
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
