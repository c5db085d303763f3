// The catalogue service's routes: the home page, the preview post and picture, the font
// description and download, the skin update page, and the /__ control routes for tests.
#pragma once

#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "server/catalogue.h"
#include "server/faults.h"
#include "server/http_server.h"
#include "server/pages.h"
#include "server/request_log.h"

namespace lzf::server {

class Service {
  public:
    Service(Catalogue* catalogue, RequestLog* log);

    HttpResponse Handle(const HttpRequest& request);

    // Applies a control query (the syntax of GET /__control). Queries given here at start are
    // applied again by reset=1.
    bool Control(const std::string& query, std::string* error);
    bool AddStartupControl(const std::string& query, std::string* error);

    // The certificate (DER) of the authority behind the trusted TLS port, served at
    // GET /__tls/authority.der for tests to trust; set once before serving.
    void SetTlsAuthority(std::string der) { tls_authority_ = std::move(der); }

  private:
    struct Page;
    HttpResponse HandleControlRoute(const HttpRequest& request);
    Page Route(const HttpRequest& request, const Fault& fault);
    Page HomeRoute(const HttpRequest& request, const Fault& fault);
    Page PreviewPost(const HttpRequest& request);
    Page FontDescRoute(const std::string& id_text);
    Page DownloadRoute(const HttpRequest& request, const std::string& id_text);
    HttpResponse Finish(Page page, const HttpRequest& request, const Fault& fault);
    void ResetState();
    std::string StorePicture(std::string png);
    std::shared_ptr<const std::string> FindPicture(const std::string& key);

    Catalogue* catalogue_;
    RequestLog* log_;
    FaultTable faults_;

    std::mutex mutex_;
    SkinAnnouncement skin_;
    std::string preview_base_;
    std::vector<std::string> startup_controls_;
    std::string tls_authority_;

    std::mutex pictures_mutex_;
    std::deque<std::pair<std::string, std::shared_ptr<const std::string>>> pictures_;
    size_t picture_bytes_ = 0;
    unsigned long long picture_counter_ = 0;
};

}  // namespace lzf::server
