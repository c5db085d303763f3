// The font catalogue features, bound to the main window's controls.
#pragma once

void InitialiseFontList();
void StartDescriptionCheck();
void ListDoubleClick();
void ListKeyDown(int key);
void GeneratePreview();
void StartFontDownload();
void CancelFontDownload();
void SavePreviewPicture();
void FindFont();
