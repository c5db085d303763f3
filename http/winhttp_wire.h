// What WinHTTP puts on the wire for a request it sends straight to a server. WebRequest sends
// its plain http requests itself; with these, the server cannot tell the difference. Portable.
#pragma once

#include <string>
#include <string_view>

// One request as the transport would be given it.
struct WinHttpWireRequest {
    std::string verb;        // "GET", "POST", ...
    std::string path;        // the request line's path (see WinHttpWirePath)
    std::string host;        // the Host value: the host, with ":port" unless the port is 80
    size_t body_length = 0;  // the body sent after the head
    std::u16string headers;  // the caller's header block, as handed to the transport
};

// The request head in the transport's order, in UTF-8: the request line, the caller's lines,
// then a Host line when the caller gave none, then a Content-Length line when the caller gave
// none and there is a body or the verb is POST or PUT, then the blank line.
// The caller's block is split at every CR and LF; each line is "Name: value", the blanks before
// the value removed (all else kept as it is); a name holds no blank, control or separator
// character. A line that is not of that form is passed over, but the first line of the block
// must be: otherwise the transport refuses the whole block, and so does this (false).
bool WinHttpWireHead(const WinHttpWireRequest& request, std::string* head);

// The request line's path as the transport makes it from the path and query of the address:
// in UTF-8, with blanks, control characters, bytes outside ASCII and "\"<>[\]^`{|}" escaped as
// %XX. A "%" is left as it is.
std::string WinHttpWirePath(std::u16string_view path);

// The answer's header block as the transport hands it back: the status line and the header
// lines as they came, each ended by CR LF, then a blank line.
std::string WinHttpAnswerBlock(std::string_view raw_block);
