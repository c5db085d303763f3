// A GET over a plain http connection of its own, read with AnswerReader: the one transport of
// the program that sees the bytes of the answer, so a chunked body cut short, a header line the
// platform transports would take for the body or an interim answer are all read as they are.
// Used by FetchUrlBytes for plain http addresses. Includes winsock2.h.
#pragma once

#include <windows.h>

#include <atomic>

#include "core/types.h"
#include "http/answer_reader.h"

// Connects to `host` (GBK; a name or an address) on `port`, sends "GET path HTTP/1.1" with
// the Host line and "Connection: close", and feeds what arrives into `reader` until the answer
// is complete or broken, the connection ends, `deadline` (a GetTickCount64 value) passes or
// `stop` is set. False when no connection could be made or the request not sent.
bool PlainGet(const Text& host,
              int port,
              const Text& path,
              ULONGLONG deadline,
              const std::atomic<bool>& stop,
              AnswerReader& reader);

// The value of the first header line called `name` (compared without case) in a raw header
// block; empty when there is none.
Text AnswerHeaderValue(const Text& block, const Text& name);
