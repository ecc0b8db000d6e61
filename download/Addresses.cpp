#include "download/Addresses.h"

#include <cwchar>

#include "download/Answer.h"

namespace {

// More than this many redirects for one request is a failure, whether or not they go round.
const size_t kMaxRedirects = 10;

}  // namespace

void Addresses::Reset(const std::wstring& first) {
    index_ = 0;
    url_ = first;
}

bool Addresses::NextMirror() {
    if (index_ >= mirrors_.size()) return false;
    url_ = mirrors_[index_++];
    return true;
}

void Addresses::NewRequest() {
    requestUrl_ = url_;
    redirectedFrom_.clear();
}

DownloadError Addresses::Redirect(const std::wstring& location) {
    std::wstring next = RedirectTarget(requestUrl_, location);
    if (next.empty()) return DownloadError::ServerError;
    redirectedFrom_.push_back(requestUrl_);
    bool loops = false;
    for (const std::wstring& earlier : redirectedFrom_) loops = loops || _wcsicmp(earlier.c_str(), next.c_str()) == 0;
    if (loops || redirectedFrom_.size() > kMaxRedirects) return DownloadError::TooManyRedirects;
    requestUrl_ = next;
    return DownloadError::None;
}
