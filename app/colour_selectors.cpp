// The two colour selectors of the main window: the chosen item's colour goes into the hidden
// colour field that the preview form reads, and into the look of the field 字体.
#include "app/program_windows.h"
#include "catalogue/main_controls.h"
#include "ui/properties.h"

namespace {

struct ColourChoice {
    const char* text;  // as the preview form takes it
    Colour colour;
};

// Item index of either selector -> colour.
constexpr ColourChoice kColourChoices[] = {
    {"#FFFFFF", ui::Rgb(0xFFFFFF)}, {"#000000", ui::Rgb(0x000000)}, {"#FF0000", ui::Rgb(0xFF0000)},
    {"#FFFF00", ui::Rgb(0xFFFF00)}, {"#0000FF", ui::Rgb(0x0000FF)}, {"#00FF00", ui::Rgb(0x00FF00)},
};

const ColourChoice* ChoiceOf(const char* selector) {
    int index = ui::GetSelection(selector);
    if (index < 0 || index >= static_cast<int>(std::size(kColourChoices)))
        return nullptr;
    return &kColourChoices[index];
}

}  // namespace

void ApplyTextColour() {
    if (const ColourChoice* choice = ChoiceOf(kTextColourList)) {
        ui::SetText(kTextColourField, choice->text);
        ui::SetTextColour(kFontNameField, choice->colour);
    }
}

void ApplyBackgroundColour() {
    if (const ColourChoice* choice = ChoiceOf(kBackgroundColourList)) {
        ui::SetText(kBackgroundColourField, choice->text);
        ui::SetBackColour(kFontNameField, choice->colour);
    }
}
