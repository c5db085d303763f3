#include "decor/decoration.h"

#include <cstring>

#include "decor/gdiplus_runtime.h"
#include "decor/in_memory_library.h"
#include "decor/shadow.h"
#include "embedded/lzf_decoration.h"

namespace {

using AttachResFunction = int(WINAPI*)(const std::uint8_t* data,
                                       int size,
                                       const char* password,
                                       int adjust1,
                                       int adjust2,
                                       int adjust3);

// The selected skin data block: a private heap copy, replaced when another block is chosen.
struct SkinDataCopy {
    std::uint8_t* data = nullptr;
    std::size_t size = 0;
};
SkinDataCopy currentSkin;

void SelectSkinData(SkinType type) {
    const EmbeddedBlob block = CarriedSkinData(type);
    if (block.data == nullptr)
        return;
    auto* copy = static_cast<std::uint8_t*>(HeapAlloc(GetProcessHeap(), 0, block.size));
    if (!copy)
        return;
    std::memcpy(copy, block.data, block.size);
    ReleaseCurrentSkinData();
    currentSkin.data = copy;
    currentSkin.size = block.size;
}

}  // namespace

InMemoryLibrary& SkinLibrary() {
    static InMemoryLibrary library;
    return library;
}

EmbeddedBlob CarriedSkinLibraryImage() {
    return lzf_skin_library_image_blob();
}

EmbeddedBlob CarriedSkinData(SkinType type) {
    switch (type) {
        case 1:
            return lzf_skin_data_1_blob();
        case 2:
            return lzf_skin_data_2_blob();
        case 3:
            return lzf_skin_data_3_blob();
        default:
            return {nullptr, 0};
    }
}

bool LoadCarriedSkinLibrary() {
    const EmbeddedBlob image = CarriedSkinLibraryImage();
    return SkinLibrary().Load(image.data, image.size);
}

const std::uint8_t* CurrentSkinData() {
    return currentSkin.data;
}

std::size_t CurrentSkinDataSize() {
    return currentSkin.size;
}

void ReleaseCurrentSkinData() {
    if (currentSkin.data)
        HeapFree(GetProcessHeap(), 0, currentSkin.data);
    currentSkin = {};
}

void ApplyWindowDecoration(SkinType skinType,
                           HWND window,
                           std::optional<int> shadowSize,
                           std::optional<Colour> shadowColour,
                           const char* password,
                           int adjust1,
                           int adjust2,
                           int adjust3) {
    StartGdiPlus();
    CreateWindowShadow(window, shadowColour.value_or(kDefaultDecorationShadowColour),
                       shadowSize.value_or(kDefaultDecorationShadowSize));
    SelectSkinData(skinType);
    const std::uintptr_t address = SkinLibrary().FindExport("SkinH_AttachRes");
    if (address == 0)
        return;
    const auto attach = reinterpret_cast<AttachResFunction>(address);
    attach(currentSkin.data, static_cast<int>(currentSkin.size), password, adjust1, adjust2,
           adjust3);
}
