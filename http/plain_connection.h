// One request over a plain http connection of its own, its answer read with AnswerReader: the
// transport of the program that sees the bytes of the answer, so a chunked body cut short, a
// header line a platform transport would take for the body, or an interim answer are all read
// as they are. FetchUrlBytes and InetRequest send their plain http requests this way.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <string_view>

#include "core/types.h"
#include "http/answer_reader.h"

// How far an exchange got.
enum class PlainExchange {
    kNoConnection,  // no connection could be made (the name unknown, refused, no time left)
    kNotSent,       // the request could not be sent whole
    kNoAnswer,      // the connection ended or the time ran out before any byte of an answer
    kAnswered,      // bytes of an answer arrived: the reader says what they made
};

struct PlainDeadlines {
    ULONGLONG connect = 0;  // GetTickCount64 values; ~0ull for none
    ULONGLONG answer = 0;
    // The longest wait for the next bytes to go out or come in (0: no bound but `answer`).
    DWORD idle_ms = 0;
};

// Connects to `host` (GBK; a name or an address) on `port`, sends `request` as it is and feeds
// what arrives into `reader` until the answer is complete or broken, `enough` (when given)
// says the reader holds all that is wanted, the connection ends, a deadline passes or `stop`
// is set. The reader stays incomplete when the answer did not end by itself.
// A connection whose complete answer leaves it open (AnswerReader::LeavesConnectionOpen), for
// a request that did not ask to close it, is kept for a next request to the same host and
// port within two seconds; an exchange on a kept connection that ends before any byte of an
// answer arrived is made again on a new one.
PlainExchange ExchangeOverPlainConnection(const Text& host,
                                          int port,
                                          std::string_view request,
                                          const PlainDeadlines& deadlines,
                                          const std::atomic<bool>& stop,
                                          AnswerReader& reader,
                                          const std::function<bool()>& enough = nullptr);
