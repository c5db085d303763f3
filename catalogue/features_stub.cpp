// Placeholders for the catalogue features until they are written: every handler does nothing.
#include "catalogue/catalogue.h"

void InitialiseFontList() {}
void StartDescriptionCheck() {}
void ListDoubleClick() {}
void ListKeyDown(int) {}
void GeneratePreview() {}
void StartFontDownload() {}
void CancelFontDownload() {}
void SavePreviewPicture() {}
void FindFont() {}
