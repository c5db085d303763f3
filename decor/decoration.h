// Window decoration of the main window: GDI+, the soft shadow and the carried skin library.
// The skin library is a DLL image carried inside the program and mapped from memory by the
// process-wide InMemoryLibrary; its export "SkinH_AttachRes" skins the windows of the calling
// thread with one of three carried skin data blocks. Window thread only.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <optional>

#include "core/embedded_blob.h"
#include "core/types.h"

class InMemoryLibrary;

// Skin data block selector: 1, 2 or 3; any other value keeps the current block.
using SkinType = int;

// The skin type the program applies at start-up.
inline constexpr SkinType kStartupSkinType = 2;

// Shadow of the main window unless ApplyWindowDecoration is told otherwise.
inline constexpr Colour kDefaultDecorationShadowColour = RGB(120, 120, 120);
inline constexpr int kDefaultDecorationShadowSize = 3;

// The process-wide loader that holds the skin library. Lives until the process ends.
InMemoryLibrary& SkinLibrary();

// Maps the carried skin library image with SkinLibrary(). Returns whether it is mapped.
bool LoadCarriedSkinLibrary();

// The carried skin library image and the carried skin data block of `type` (empty blob for a
// type other than 1, 2, 3).
EmbeddedBlob CarriedSkinLibraryImage();
EmbeddedBlob CarriedSkinData(SkinType type);

// Starts GDI+, gives `window` its shadow (RGB(120,120,120), 3 rings unless given), makes the
// block of `skinType` the current skin data (a fresh private copy; other types keep the
// current one) and calls the skin library's "SkinH_AttachRes" with the current skin data,
// the password (null when omitted) and the three adjustments. Without a mapped library or
// without that export the window keeps its shadow and its ordinary frame. Nothing is reported.
void ApplyWindowDecoration(SkinType skinType,
                           HWND window,
                           std::optional<int> shadowSize = std::nullopt,
                           std::optional<Colour> shadowColour = std::nullopt,
                           const char* password = nullptr,
                           int adjust1 = 0,
                           int adjust2 = 0,
                           int adjust3 = 0);

// The current skin data copy: null and 0 until a block was selected.
const std::uint8_t* CurrentSkinData();
std::size_t CurrentSkinDataSize();

// Releases the current skin data copy (part of the exit routine).
void ReleaseCurrentSkinData();
