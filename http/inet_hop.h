// One request of InetRequest (a redirect is followed with a new one) and the two transports
// that carry it: WinInet for https and through a proxy, and a connection of the program's own
// for plain http straight to the server, whose answer it reads byte for byte.
#pragma once

#include <windows.h>

#include <functional>
#include <string_view>

#include "core/types.h"
#include "http/answer.h"

struct InetHop {
    Text url;
    int method = 0;  // as for InetRequest, 0..7
    Text headers;    // the header block as completed for the transport
    Text agent;      // the session's agent string
    Bytes body;      // sent when send_body
    bool send_body = false;
    bool follow = false;  // a redirect with a Location is the answer; its body is not read
    bool transport_cookies = false;  // no jar: the transport's cookie store is used
    Text proxy;                      // "host:port", empty for none
    // The caller's body sink (see InetRequestOptions); only the own connection takes it.
    std::function<bool(std::string_view)> body_sink;
};

struct InetHopAnswer {
    bool answered = false;   // the answer's header block arrived
    bool retryable = false;  // nothing of an answer arrived: the request may be made again
    int status = 0;
    Text headers;         // the answer's header block as WinInet hands it back
    Text location;        // the target of a redirect to follow
    bool sound = false;   // framing and coding can be trusted
    bool failed = false;  // cut short, broken or over the size bound
    bool sunk = false;    // the body went to the hop's body sink, not into `body`
    Bytes body;           // decoded
};

// Carry `hop` on a thread of their own until it ends or `cancel` (an event, may be null) is set.
// True when it ended, with `answer` filled; false at once on a cancel, the transfer then ends
// by itself.
bool CarryOverWinInet(const InetHop& hop, InetHopAnswer* answer, HANDLE cancel);
bool CarryOverOwnConnection(const InetHop& hop, InetHopAnswer* answer, HANDLE cancel);

// Replaces a compressed body by its decoding within the engine's bound; false (body empty) when
// it cannot be decoded or is too large.
bool DecodeInetBody(ContentCoding coding, Bytes& body);

// Redirect answers that InetRequest follows itself.
bool IsInetRedirect(int status);
