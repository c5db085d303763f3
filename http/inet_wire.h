// What WinInet puts on the wire for a request it sends straight to a server, and what it hands
// back of the answer's header block. InetRequest sends its plain http requests itself and reads
// their answers itself; with these, neither the server nor the caller can tell the difference.
// Portable.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// One request as the transport would be given it. Texts are UTF-16, as the transport holds them.
struct InetWireRequest {
    std::u16string verb;  // "GET", "POST", ...
    std::u16string path;  // the request line's path (see InetWirePath)
    std::u16string host;  // the Host value: the host name, with ":port" unless the port is 80
    std::u16string agent;
    size_t body_length = 0;
    std::u16string headers;  // the caller's header block
    std::u16string cookies;  // the transport's stored cookies for the address ("a=1; b=2")
};

// The request line, the header lines and the blank line, in the transport's order. First come
// the lines the transport adds when they are missing: Host, Content-Length (for every verb but
// GET, or when there is a body), User-Agent, and "Cache-Control: no-cache" (every verb but GET).
// Then each line of the caller's block, split at CR or LF, blanks around name and value
// removed: a name that is there already (in any letter case) is taken away and the new line
// goes to the end (an empty value only takes it away); lines without a colon are skipped, and
// a block that starts with one is dropped whole. Last the stored cookies, as a Cookie line in
// place of any the caller gave.
std::u16string InetWireHead(const InetWireRequest& request);

// The request line's path as the transport makes it from an already canonical path: line
// breaks at the end removed, "\" turned into "/", a "/" put in front when it has none.
std::u16string InetWirePath(std::u16string_view canonical);

// A raw answer header block (status line first, up to its blank line) as the transport hands
// it back: the status line, then every header line as "Name: value" with the blanks around
// both removed, then a blank line. Lines named exactly "Status" are left out.
std::string InetAnswerBlock(std::string_view raw_block);

// The values the transport keeps in its cookie store from a raw answer header block: each
// Set-Cookie line (name in any letter case), blanks around it removed, when it has a "=".
std::vector<std::string> InetStoredCookies(std::string_view raw_block);
