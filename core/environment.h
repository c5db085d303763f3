// Run-time settings from the environment: the catalogue service's base URL and the skin
// update page's address. Nothing else of the program is configurable.
#pragma once

#include "core/types.h"

// The value of an environment variable as GBK text, empty when it is not set.
Text GetEnvironmentText(const char* name);

// LANZIFANG_CATALOGUE_URL, or the build's default (always ends in "/").
Text CatalogueBaseUrl();

// LANZIFANG_UPDATE_URL, or the build's default.
Text SkinUpdateUrl();
