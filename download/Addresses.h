#pragma once
// Where the engine's requests go: the file's addresses (the one the owner starts with, then its
// mirrors in order) and, for one request, the redirects that led it on.

#include <string>
#include <vector>

#include "download/Failures.h"

class Addresses {
public:
    void SetMirrors(std::vector<std::wstring> urls) { mirrors_.swap(urls); }
    // Starts again from `first`.
    void Reset(const std::wstring& first);
    // Moves to the next mirror; false when there is none.
    bool NextMirror();
    // The address of the file, and whether it is the first one.
    const std::wstring& Url() const { return url_; }
    bool IsFirst() const { return index_ == 0; }

    // A new request to the file's address.
    void NewRequest();
    // Where the request goes now: the address, or where redirects sent it.
    const std::wstring& RequestUrl() const { return requestUrl_; }
    // Follows a redirect's Location. None when the request goes on there; else why not.
    DownloadError Redirect(const std::wstring& location);

private:
    std::vector<std::wstring> mirrors_;
    size_t index_ = 0;  // 0: the first address; n: mirrors_[n - 1]
    std::wstring url_;
    std::wstring requestUrl_;
    std::vector<std::wstring> redirectedFrom_;  // the addresses that sent the request on
};
