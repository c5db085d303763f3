// WebRequest's plain http requests straight to the server, over a connection of the program's
// own and on the calling thread. Under Wine, WinHTTP reads a chunked body cut short, or one
// without its last chunk, as whole, takes header text for the body after a header line without
// a colon, a folded one or a blank one, and drops a header line too long for its buffer; here
// the answer is read byte for byte (http/answer_reader.h). What goes on the wire, the redirects
// followed and the header block handed back are WinHTTP's (see http/winhttp_wire.h).
#pragma once

#include "http/winhttp_session.h"

struct DirectRequest {
    Text url;                // http://...
    int method = 0;          // as for WebRequest, 0..7
    Text headers;            // the header block as completed for the transport (GBK)
    std::string body;        // sent as it is
    bool cookies = false;    // the transport keeps the cookies redirects set (a jar was given)
    bool follow = true;      // redirects are followed
    DWORD timeout_ms = 0;    // each wait: connecting, sending, each piece of the answer
    ULONGLONG deadline = 0;  // the whole exchange (a GetTickCount64 value)
    unsigned long long limit = 0;  // the body as it arrives, and once decoded
};

struct DirectAnswer {
    Text headers;    // the answer's header block as the transport hands it back
    Text next_url;   // a redirect to https, which only WinHTTP carries: where it goes
    int method = 0;  // ... and the request as it is then made
    Text next_headers;
    std::string next_body;
};

// False when the transport would refuse the header block (see WinHttpWireHead).
bool DirectHeadersAccepted(const Text& headers);

// Sends the request and reads the answer as WinHTTP would, following its redirects (301, 302
// and 307, ten at most; 301 and 302 turn a POST into a GET without a body), all by
// `request.deadline`. A redirect to https ends the exchange with `next_url` set (kComplete).
Exchange ExchangeDirect(const DirectRequest& request, DirectAnswer* answer, std::string& body);
