// The names of the main window's controls, each written here once: the window's layout table,
// its event table and the catalogue features name the controls through these.
#pragma once

// The list and its loading.
constexpr char kInitButton[] = "初始化字体";
constexpr char kFontList[] = "超级列表框1";

// Search.
constexpr char kSearchLabel[] = "透明标签1";
constexpr char kSearchField[] = "字体查找";
constexpr char kSearchButton[] = "超级按钮1";

// The preview's settings.
constexpr char kFontSettingsGroup[] = "分组框1";
constexpr char kFontSizeLabel[] = "标签1";
constexpr char kFontSizeField[] = "编辑框1";
constexpr char kPictureWidthLabel[] = "标签2";
constexpr char kPictureWidthField[] = "编辑框2";
constexpr char kPictureHeightLabel[] = "标签3";
constexpr char kPictureHeightField[] = "编辑框3";
constexpr char kTextColourLabel[] = "标签4";
constexpr char kTextColourList[] = "组合框1";
constexpr char kTextColourField[] = "编辑框4";
constexpr char kBackgroundColourLabel[] = "标签5";
constexpr char kBackgroundColourList[] = "组合框2";
constexpr char kBackgroundColourField[] = "编辑框5";

// The chosen font: its name and id in a frame of their own.
constexpr char kFontNameFrame[] = "外形框2";
constexpr char kFontNameField[] = "字体";
constexpr char kFontIdField[] = "ID";

// The text to preview.
constexpr char kContentGroup[] = "分组框2";
constexpr char kContentField[] = "编辑框6";

// Preview, download and picture saving.
constexpr char kPreviewButton[] = "超级按钮2";
constexpr char kDownloadButton[] = "超级按钮3";
constexpr char kCancelButton[] = "超级按钮6";
constexpr char kSavePictureButton[] = "超级按钮4";
constexpr char kPictureFrame[] = "外形框1";
constexpr char kPreviewPicture[] = "图片框1";
constexpr char kSaveDialog[] = "通用对话框1";

// Links and the tip window.
constexpr char kFreeFontsLink[] = "超级按钮5";
constexpr char kToolDownloadButton[] = "按钮1";
constexpr char kRewardButton[] = "按钮2";
