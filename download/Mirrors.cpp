// The addresses of one file: the one the owner starts with, then its mirrors in order. The engine
// moves to the next one when an address fails for good; the partial file and its stamp stay, and
// the next address decides what of them to keep.
#include "download/DownloadEngine.h"

void DownloadEngine::SetMirrors(std::vector<std::wstring> urls) {
    Lock hold(lock);
    mirrors.swap(urls);
}

void DownloadEngine::FirstAddress(const std::wstring& address) {
    addressIndex = 0;
    url = address;
}

bool DownloadEngine::NextAddress() {
    if (addressIndex >= mirrors.size()) return false;
    url = mirrors[addressIndex++];
    CloseRequest();
    file.Reset();
    waiting = Waiting::Nothing;
    judging = draining = interrupted = false;
    // A new server: its attempts back off from the start.
    fruitless = 0;
    BeginAttempt();
    return true;
}

bool DownloadEngine::FromThisAddress() const {
    // Copies that wrote no address downloaded from the first one only.
    return stamp.url.empty() ? addressIndex == 0 : stamp.url == url;
}
