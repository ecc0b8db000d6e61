// The tracker against nginx on 127.0.0.1 (tests/support/with_nginx.py): what reaches the server,
// through what, and that a request still running when the tracker goes is dropped cleanly.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>
#include <wininet.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "download/Tracker.h"
#include "tests/support/TestSupport.h"

namespace {

const wchar_t kInternetSettings[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

std::string Port(const std::wstring& url) { return Utf8(url.substr(url.rfind(L':') + 1)); }

// The requests nginx logged whose URI begins with the prefix, once that many have come.
std::vector<NginxRequest> Logged(const std::string& prefix, size_t count) {
    std::vector<NginxRequest> found;
    WaitFor([&] {
        found.clear();
        for (const NginxRequest& r : NginxRequests())
            if (r.uri.compare(0, prefix.size(), prefix) == 0) found.push_back(r);
        return found.size() >= count;
    });
    return found;
}

}  // namespace

TEST(Tracker, EachAddressReachesTheServerOnceWithOurAgentAndTheUsersCookies) {
    const std::wstring url = EnvironmentValue(L"WENDRAKE_NGINX_URL");
    ASSERT_FALSE(url.empty()) << "run under tests/support/with_nginx.py";
    // A cookie the user's browsing left in WinINet's store for this server.
    ASSERT_TRUE(::InternetSetCookieW((url + L"/").c_str(), L"visitor", L"cookie-from-the-store"));
    {
        Tracker tracker;
        for (const wchar_t* stage : {L"1", L"2", L"3"})
            EXPECT_TRUE(tracker.Request(url + L"/track/once?stage=" + stage + L"&lang=de%20DE"));
        // Neither a file nor a program is ever "requested"; a server that refuses changes nothing.
        EXPECT_FALSE(tracker.Request(L"file:///C:/windows/notepad.exe"));
        EXPECT_FALSE(tracker.Request(L"C:\\windows\\notepad.exe"));
        EXPECT_FALSE(tracker.Request(L""));
        EXPECT_TRUE(tracker.Request(L"http://127.0.0.1:1/track/refused"));
        EXPECT_TRUE(WaitFor([&] { return tracker.Pending() == 0; }));
    }
    std::vector<NginxRequest> logged = Logged("/track/once", 3);
    std::vector<std::string> uris;
    for (const NginxRequest& r : logged) {
        uris.push_back(r.uri);
        EXPECT_EQ(r.agent, Utf8(kTrackingAgent)) << r.uri;
        EXPECT_NE(r.cookie.find("visitor=cookie-from-the-store"), std::string::npos) << r.cookie;
    }
    std::sort(uris.begin(), uris.end());
    EXPECT_EQ(uris, (std::vector<std::string>{"/track/once?stage=1&lang=de%20DE", "/track/once?stage=2&lang=de%20DE",
                                              "/track/once?stage=3&lang=de%20DE"}));
}

TEST(Tracker, GoesThroughTheProxyTheSystemIsSetFor) {
    const std::wstring url = EnvironmentValue(L"WENDRAKE_NGINX_URL");
    ASSERT_FALSE(url.empty()) << "run under tests/support/with_nginx.py";
    // nginx stands in for the proxy: a name that resolves nowhere reaches it only through the
    // proxy setting (an absolute request line, whose path nginx serves and logs).
    std::wstring proxy = L"127.0.0.1:" + Wide(Port(url));
    RegistryOverride enable(HKEY_CURRENT_USER, kInternetSettings, L"ProxyEnable", static_cast<DWORD>(1));
    RegistryOverride server(HKEY_CURRENT_USER, kInternetSettings, L"ProxyServer", &proxy);
    RegistryOverride bypass(HKEY_CURRENT_USER, kInternetSettings, L"ProxyOverride", nullptr);
    {
        Tracker tracker;
        EXPECT_TRUE(tracker.Request(L"http://tracking.wendrake.invalid/track/proxied?stage=2"));
        EXPECT_TRUE(WaitFor([&] { return tracker.Pending() == 0; }));
    }
    std::vector<NginxRequest> logged = Logged("/track/proxied", 1);
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0].uri, "/track/proxied?stage=2");
}

// A server that takes the connection and never answers: the tracker gives up on it when it
// goes, and the failure WinINet reports later, once the server is gone, reaches nothing. The
// tracker lives in memory of the test's own, poisoned once it is gone; a late callback acting
// on it would write into that memory or crash.
TEST(Tracker, ARequestStillRunningWhenTheTrackerGoesIsDroppedCleanly) {
    WSADATA winsock;
    ASSERT_EQ(::WSAStartup(MAKEWORD(2, 2), &winsock), 0);
    SOCKET silent = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    ASSERT_NE(silent, INVALID_SOCKET);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    ASSERT_EQ(::bind(silent, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(silent, 8), 0);
    ASSERT_EQ(::getsockname(silent, reinterpret_cast<sockaddr*>(&address), &length), 0);
    std::wstring url = L"http://127.0.0.1:" + std::to_wstring(ntohs(address.sin_port)) + L"/track?stage=1";

    const int kTrackers = 2;
    std::vector<std::unique_ptr<unsigned char[]>> places;
    for (int i = 0; i < kTrackers; ++i) {
        places.push_back(std::make_unique<unsigned char[]>(sizeof(Tracker)));
        auto* tracker = new (places.back().get()) Tracker();
        EXPECT_TRUE(tracker->Request(url));
        EXPECT_TRUE(tracker->Request(url));
        tracker->~Tracker();  // gives up on both
        std::memset(places.back().get(), 0xDD, sizeof(Tracker));
    }
    // The server goes: every connection it never answered fails now.
    ::closesocket(silent);
    PumpMessages(1500);
    for (int i = 0; i < kTrackers; ++i) {
        size_t touched = 0;
        for (size_t b = 0; b < sizeof(Tracker); ++b) touched += places[i][b] != 0xDD;
        EXPECT_EQ(touched, 0u) << "tracker " << i;
    }
    ::WSACleanup();
}
