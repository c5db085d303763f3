// What the catalogue features share: the controls they work on and the state those controls
// carry (the load state is the caption of 初始化字体, the chosen font is the list's current
// row and the fields 字体 and ID). Window thread unless a function says otherwise.
#pragma once

#include <string>

#include "catalogue/main_controls.h"
#include "core/types.h"

constexpr char kCaptionIdle[] = "初始化字体";
constexpr char kCaptionRequesting[] = "初始化字体...";
constexpr char kCaptionFilling[] = "初始化字体......";
constexpr char kCaptionLoaded[] = "初始化字体【完成】";

constexpr char kProgramTitle[] = "览字坊";

// True exactly when the caption of 初始化字体 says the catalogue has been loaded. Any thread.
bool IsCatalogueLoaded();

// Column 2 (the id) of the current row; empty when no row is current. Any thread.
Text CurrentFontId();

// The picture address found in the last preview answer; empty until one was found.
const Text& PreviewImageUrl();
void SetPreviewImageUrl(const Text& url);

// The description check of the current row, run on the calling thread (the arrow keys run it
// on the window thread so the ID field is right before the preview is built).
void CheckFontDescription();

// The number of description checks started in their own threads that have not ended yet.
int RunningDescriptionChecks();

// True from the click on the download button until the download has ended (its message
// included) or was cancelled. Meanwhile the download button stays disabled and the description
// checks' answers are held back. Window thread.
bool DownloadRunning();

// When a download ends: the download button as the newest description check answered while it
// ran (for the row that is still current), enabled when none did. Window thread.
void RestoreDownloadButton();

// Information message box owned by the main window, task-modal.
void ShowFeatureMessage(const Text& text, const Text& title);
void ShowFeatureMessage(const std::wstring& text, const Text& title);

// Shows "请先初始化字体" or "请选择字体" under `title` and gives true when the catalogue is not
// loaded or no font is chosen; gives false, showing nothing, when a feature can work on the
// chosen font.
bool RefuseWithoutChosenFont(const Text& title);
