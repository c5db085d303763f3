#include "core/environment.h"

Text CatalogueBaseUrl() {
    Text url = GetEnvironmentText("LANZIFANG_CATALOGUE_URL");
    if (url.empty())
        url = LZF_DEFAULT_CATALOGUE_URL;
    if (url.back() != '/')
        url += '/';
    return url;
}

Text SkinUpdateUrl() {
    Text url = GetEnvironmentText("LANZIFANG_UPDATE_URL");
    return url.empty() ? Text(LZF_DEFAULT_UPDATE_URL) : url;
}
