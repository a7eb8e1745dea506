#pragma once

#include <curl/curl.h>

#include <string>

// One exchange as a plain libcurl client sends it, on a handle kept alive
// between calls: the baseline the benchmarks set the whole road against.
// `answer` (optional) receives the body; no "Expect: 100-continue" round trip
// for uploads. The HTTP status, 0 when the exchange failed.
long plainRequest(CURL* handle, const std::string& url, const char* method, const std::string& body = {},
    const char* contentType = nullptr, std::string* answer = nullptr, const char* extraHeader = nullptr);
