// The portable part of the catalogue client: reading the font list out of the service's home
// page, filling the preview form, cutting the picture's address out of the preview answer,
// the font search rule, file names for saving, and the download permission of a font.
#pragma once

#include <vector>

#include "core/types.h"

// One row of the font list: the option's match number in the page (decimal text), the name
// as it stands between the option tags, and the option's value.
struct FontRow {
    Text ordinal;
    Text name;
    Text id;
};

// The part of the home page's form that holds the font <select> (from the last
// "control-group" cell to the label 字体颜色). False when the page has none.
bool ParseCatalogueSection(const Text& page, Text* section);

// The font rows of a section, in page order. The first option of the select is the service's
// "choose a font" placeholder and gives no row; options whose value is not a number give no
// row either. Each row's name and id come from the same option. False when a search fails.
bool ParseFontRowsInSection(const Text& section, std::vector<FontRow>* rows);

// ParseCatalogueSection, then ParseFontRowsInSection. False when the page has no section or a
// search fails; true (possibly with no rows) otherwise.
bool ParseFontRows(const Text& page, std::vector<FontRow>* rows);

// The preview form: the fixed template with font id, size, colour, width, height, background
// and content filled in, in this order (the colours and the content percent-encoded).
Text BuildPreviewForm(const Text& id,
                      const Text& size,
                      const Text& colour,
                      const Text& width,
                      const Text& height,
                      const Text& background,
                      const Text& content);

// The picture's address in the preview answer; empty when it has none.
Text ExtractPreviewImageUrl(const Text& answer);

// True when `name` begins with `search_text` trimmed of blanks (byte-wise, case-sensitive).
bool MatchesFontSearch(const Text& name, const Text& search_text);

// Index of the first of names[start_row..] that matches the search, -1 when none does (the
// search does not wrap around).
int FindFontRow(const std::vector<Text>& names, int start_row, const Text& search_text);

// A file name (without folder) made from a font name that Windows accepts and that cannot
// point outside the folder it is saved in: no path separators, reserved characters, control
// characters, trailing dots or blanks, or device names. Never empty.
Text SafeFileName(const Text& font_name);

// True when the font description answer (percent-encoded UTF-8 JSON) says "canDownload" is
// exactly true.
bool DescriptionAllowsDownload(const Text& answer_text);
