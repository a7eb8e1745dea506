#include "PlainRequest.hpp"

#include <string_view>

namespace {

std::size_t collect(char* data, std::size_t size, std::size_t count, void* target)
{
    if (target)
        static_cast<std::string*>(target)->append(data, size * count);
    return size * count;
}

} // namespace

long plainRequest(CURL* handle, const std::string& url, const char* method, const std::string& body, const char* contentType,
    std::string* answer, const char* extraHeader)
{
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_CUSTOMREQUEST, method);
    bool hasBody = std::string_view(method) != "GET";
    curl_easy_setopt(handle, CURLOPT_HTTPGET, hasBody ? 0L : 1L);
    if (hasBody) {
        curl_easy_setopt(handle, CURLOPT_POSTFIELDS, body.data());
        curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    }
    curl_slist* headers = nullptr;
    if (contentType)
        headers = curl_slist_append(headers, (std::string("Content-Type: ") + contentType).c_str());
    if (extraHeader && *extraHeader)
        headers = curl_slist_append(headers, extraHeader);
    headers = curl_slist_append(headers, "Expect:");
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &collect);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, answer);
    long status = 0;
    if (curl_easy_perform(handle) == CURLE_OK)
        curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    curl_slist_free_all(headers);
    return status;
}
