// The fixed request header texts the program sends to the catalogue service, and the
// service's addresses. Everything follows the configured base URL (CatalogueBaseUrl()).
#pragma once

#include "core/types.h"

// The service's root address, "http://host[:port]/".
Text CatalogueRootUrl();
// Root address + path without its leading "/" (e.g. "FontDesc/104").
Text CatalogueUrl(const Text& path);

// Headers of the home-page request and of the preview post.
Text CatalogueHeaders();
// Headers of the description request (GET /FontDesc/<id>).
Text DescriptionHeaders();
// Headers of the download post (POST /Download/<id>) with a body of `body_length` bytes.
Text DownloadHeaders(size_t body_length);
