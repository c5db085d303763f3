// Talks to the local catalogue service from tests, over a plain socket (never through the
// program's own HTTP engines, which are what the tests examine). All strings are raw bytes.
#pragma once

#include <string>
#include <utility>
#include <vector>

// The service's base URL from LZF_SERVICE_URL ("http://127.0.0.1:PORT/"), empty when unset.
std::string ServiceUrl();

// "127.0.0.1" and the port of ServiceUrl(); port 0 when the URL is missing or malformed.
std::string ServiceHost();
int ServicePort();

// GET of path_and_query ("/", "/__log?clear=1") as HTTP/1.0. Returns the response body;
// *status receives the status code, or 0 when no answer arrived.
std::string ServiceGet(const std::string& path_and_query, int* status = nullptr);

// POST of body with the given content type, otherwise like ServiceGet.
std::string ServicePost(const std::string& path,
                        const std::string& body,
                        const std::string& content_type = "application/x-www-form-urlencoded",
                        int* status = nullptr);

// Sends raw bytes as they are and returns every byte the service answered until it closed
// the connection (or until timeout_ms of silence). Empty when the connection failed.
std::string ServiceRaw(const std::string& request, int timeout_ms = 10000);

// Splits a raw HTTP response into its status code, header block (without the final blank
// line) and body. Returns false when there is no complete header block.
bool SplitResponse(const std::string& response,
                   int* status,
                   std::string* headers,
                   std::string* body);

// GET /__control?query; true when the service accepted it (status 200).
bool ServiceControl(const std::string& query);

// The request log (GET /__log) and clearing it (GET /__log?clear=1).
std::string ServiceLog();
void ServiceClearLog();

// One request as it arrived on the wire.
struct LoggedRequest {
    int sequence = 0;    // counts from 1 across the service's run
    int connection = 0;  // requests on one connection share this number
    std::string request_line;
    std::vector<std::pair<std::string, std::string>> headers;  // names and values verbatim
    std::string body;                                          // bytes after the blank line
    std::string raw;                                           // everything, as received
};

// Parses the log format of GET /__log (see server/README.md).
std::vector<LoggedRequest> ParseServiceLog(const std::string& log);

// Percent-encodes every byte except A-Z a-z 0-9 - . _ ~ (for control values).
std::string ServiceEscape(const std::string& value);
