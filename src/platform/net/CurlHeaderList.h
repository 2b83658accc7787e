#pragma once

#include <memory>
#include <string>

#include <curl/curl.h>

namespace nudgerly {

struct CurlHeaderListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

// A request's header lines, owned.
using CurlHeaderList = std::unique_ptr<curl_slist, CurlHeaderListDeleter>;

// Adds `line`. False when libcurl could not (it ran out of memory): the list then still holds, and
// owns, every earlier line, so a caller can refuse the request rather than send it without them.
inline bool appendHeader(CurlHeaderList& list, const std::string& line) {
    curl_slist* extended = curl_slist_append(list.get(), line.c_str());
    if (extended == nullptr) {
        return false;
    }
    (void)list.release();  // the extended list is the same list, now one line longer
    list.reset(extended);
    return true;
}

}  // namespace nudgerly
