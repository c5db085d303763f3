#include "catalogue/scrape.h"

#include "http/encoding.h"
#include "script/json_object.h"

bool DescriptionAllowsDownload(const Text& answer_text) {
    // Only the exact text true allows it: a missing member, another value or an answer that
    // is no JSON ("JSON解析失败") all keep the download closed.
    Text json = PercentDecode(answer_text, true);
    return JsonLookup(json, "canDownload") == "true";
}
