#include "catalogue/service_headers.h"

#include <string>

#include "core/environment.h"
#include "http/url.h"

namespace {

constexpr char kUserAgent[] =
    "User-Agent: Mozilla/5.0 (Windows NT 10.0; WOW64; rv:68.0) Gecko/20100101 Firefox/68.0";
constexpr char kAcceptLanguage[] =
    "Accept-Language: zh-CN,zh;q=0.8,zh-TW;q=0.7,zh-HK;q=0.5,en-US;q=0.3,en;q=0.2";
constexpr char kAcceptPage[] =
    "Accept: text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8";
// The service's web-analytics cookies as a browser that once visited it would send them:
// the first-visit times and the last visit. Fixed values, never refreshed.
constexpr char kAnalyticsCookies[] =
    "Cookie: Hm_lvt_7d2f1a9c=1546300800,1546387200,1546473600,1546560000; "
    "Hm_lpvt_7d2f1a9c=1546560000";

Text HostLine() {
    return "Host: " + UrlHost(CatalogueBaseUrl(), true);
}

}  // namespace

Text CatalogueRootUrl() {
    return CatalogueBaseUrl();
}

Text CatalogueUrl(const Text& path) {
    return CatalogueBaseUrl() + path;
}

Text CatalogueHeaders() {
    return Text(kUserAgent) + "\r\n" + kAcceptPage + "\r\n" + kAcceptLanguage + "\r\n" +
           "Accept-Encoding: gzip, deflate\r\n" + "Connection: keep-alive\r\n" + kAnalyticsCookies +
           "\r\n" + "Upgrade-Insecure-Requests: 1\r\n" + "Cache-Control: max-age=0";
}

Text DescriptionHeaders() {
    return HostLine() + "\r\n" + kUserAgent + "\r\n" + "Accept: */*\r\n" + kAcceptLanguage +
           "\r\n" + "Accept-Encoding: gzip, deflate\r\n" + "Referer: " + CatalogueRootUrl() +
           "\r\n" + "X-Requested-With: XMLHttpRequest\r\n" + "Connection: keep-alive";
}

Text DownloadHeaders(size_t body_length) {
    return HostLine() + "\r\n" + kUserAgent + "\r\n" + kAcceptPage + "\r\n" + kAcceptLanguage +
           "\r\n" + "Accept-Encoding: gzip, deflate\r\n" +
           "Referer: " + CatalogueUrl("Download/443") + "\r\n" +
           "Content-Type: application/x-www-form-urlencoded\r\n" +
           "Content-Length: " + std::to_string(body_length) + "\r\n" +
           "Connection: keep-alive\r\n" + "Upgrade-Insecure-Requests: 1";
}
