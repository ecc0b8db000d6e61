// The real Wendrake.exe, run as a user would, against nginx on 127.0.0.1: its buttons pressed by
// control id, what it shows read back, and what it leaves behind checked. nginx also answers the
// tracking requests; the recorder stands in for IExplore.exe (which nothing may start) and,
// served by nginx, for the product's full installer.
#include <gtest/gtest.h>

#include <windows.h>
#include <wincrypt.h>
#include <wininet.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "download/Tracker.h"
#include "framework/SystemLibraries.h"
#include "recorder/RecorderClient.h"
#include "resources/resource.h"
#include "tests/support/TestSupport.h"
#include "wizard/Picture.h"

namespace {

// Written before the failure texts existed: those come from the program's built-in English.
const char kLanguages[] =
    "[English]\r\nShortName=en\r\nApplicationTitle=Corvana E2E Setup\r\nButtonNext=Next >\r\n"
    "DownloadingLabel=Downloading...\r\nTryingToConnect=Trying to connect...\r\n"
    "ButtonIAgree=I Agree\r\nButtonBack=< Back\r\nButtonCancel=Cancel\r\nInstallerShortCutString=Install %AppName%\r\n"
    "VistaProtectedFolderMsg=Windows protects this folder.\r\nNoThanks=No Thanks\r\n"
    "ContinueInstall=Continue Installation\r\n"
    "[Deutsch]\r\nShortName=de\r\nApplicationTitle=Corvana E2E Installation\r\n"
    "InstallerShortCutString=%AppName% installieren\r\n";

const wchar_t kNotFound[] = L"The file is not on the server. Please retry later.";
const wchar_t kSignIn[] = L"The network may need you to sign in, then retry.";
const wchar_t kStartFailed[] = L"The installer could not be started. Please retry.";
const wchar_t kProxyRefused[] = L"The proxy needs your user name and password. Retry.";

const wchar_t kUninstall[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Corvana E2E Product";
const wchar_t kNtVersion[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion";

bool Visible(HWND window) { return window && ::IsWindowVisible(window); }

long long FileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// The requests nginx logged for one file, in the order they ended.
std::vector<NginxRequest> RequestsFor(const std::string& name) {
    std::vector<NginxRequest> entries;
    for (const NginxRequest& e : NginxRequests())
        if (e.uri.find(name) != std::string::npos) entries.push_back(e);
    return entries;
}

// One line of squid's access log: status, the user that signed in ("-" for none), method, URL, Range.
struct ProxyLogEntry {
    int status = 0;
    std::string user, url, range;
};

std::vector<ProxyLogEntry> ProxyLog(const std::string& name) {
    std::vector<ProxyLogEntry> entries;
    std::string log = ReadBytes(EnvironmentValue(L"WENDRAKE_SQUID_LOG"));
    for (size_t start = 0, end; start < log.size(); start = end + 1) {
        end = std::min(log.find('\n', start), log.size());
        std::vector<std::string> fields;
        for (size_t from = start, blank; from < end; from = blank + 1) {
            blank = std::min(log.find(' ', from), end);
            fields.push_back(log.substr(from, blank - from));
        }
        if (fields.size() < 5 || fields[3].find(name) == std::string::npos) continue;
        entries.push_back({atoi(fields[0].c_str()), fields[1], fields[3], fields[4]});
    }
    return entries;
}

// The system's dialog that asks for a proxy's credentials, once the process shows it: a dialog
// with a password field. (Wine's own; Windows shows another, of the system's credential UI.)
HWND CredentialsDialog(DWORD processId) {
    struct Search {
        DWORD processId;
        HWND found;
        static BOOL CALLBACK Child(HWND child, LPARAM data) {
            wchar_t name[16] = {};
            ::GetClassNameW(child, name, 16);
            if (lstrcmpiW(name, L"Edit") != 0 || !(::GetWindowLongW(child, GWL_STYLE) & ES_PASSWORD)) return TRUE;
            *reinterpret_cast<bool*>(data) = true;
            return FALSE;
        }
        static BOOL CALLBACK Window(HWND window, LPARAM data) {
            auto* search = reinterpret_cast<Search*>(data);
            DWORD pid = 0;
            ::GetWindowThreadProcessId(window, &pid);
            wchar_t name[16] = {};
            ::GetClassNameW(window, name, 16);
            if (pid != search->processId || !::IsWindowVisible(window) || lstrcmpW(name, L"#32770") != 0) return TRUE;
            bool hasPassword = false;
            ::EnumChildWindows(window, &Child, reinterpret_cast<LPARAM>(&hasPassword));
            if (!hasPassword) return TRUE;
            search->found = window;
            return FALSE;
        }
    } search = {processId, nullptr};
    ::EnumWindows(&Search::Window, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Types into the dialog's user name and password fields, then presses OK.
void SignInTo(HWND dialog, const std::wstring& user, const std::wstring& password) {
    for (HWND edit = ::FindWindowExW(dialog, nullptr, L"Edit", nullptr); edit;
         edit = ::FindWindowExW(dialog, edit, L"Edit", nullptr)) {
        bool secret = (::GetWindowLongW(edit, GWL_STYLE) & ES_PASSWORD) != 0;
        ::SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>((secret ? password : user).c_str()));
    }
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(dialog, IDOK)));
}

// Trusts the signer tests' root (made by tests/signing/make-signed.sh) in the prefix's machine
// root store for the life of the object.
class TrustedTestRoot {
public:
    TrustedTestRoot() {
        std::string der = ReadBytes(BuildDir() + L"signed\\TestRoot.cer");
        certificate_ = ::CertCreateCertificateContext(X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
                                                      static_cast<DWORD>(der.size()));
        HCERTSTORE store = ::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
        added_ = certificate_ && store &&
                 ::CertAddCertificateContextToStore(store, certificate_, CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
        if (store) ::CertCloseStore(store, 0);
    }
    ~TrustedTestRoot() {
        if (!certificate_) return;
        // Wine keeps the store in the registry under the thumbprint and forgets a deleted
        // certificate only in memory: the key goes.
        BYTE thumbprint[20];
        DWORD size = sizeof thumbprint;
        if (::CertGetCertificateContextProperty(certificate_, CERT_SHA1_HASH_PROP_ID, thumbprint, &size)) {
            std::wstring key = L"Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\";
            for (DWORD i = 0; i < size; ++i) {
                wchar_t hex[3];
                std::swprintf(hex, 3, L"%02X", thumbprint[i]);
                key += hex;
            }
            ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, key.c_str());
        }
        ::CertFreeCertificateContext(certificate_);
    }
    bool Added() const { return added_; }

private:
    PCCERT_CONTEXT certificate_ = nullptr;
    bool added_ = false;
};

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        url_ = EnvironmentValue(L"WENDRAKE_NGINX_URL");
        root_ = EnvironmentValue(L"WENDRAKE_NGINX_ROOT");
        ASSERT_FALSE(url_.empty()) << "run under tests/support/with_nginx.py";
        ASSERT_TRUE(iexplore_.Placed());
        ASSERT_TRUE(::CopyFileW((BuildDir() + L"Wendrake.exe").c_str(), (app_ / L"Wendrake.exe").c_str(), FALSE));
        WriteBytes(app_ / L"Language.ini", kLanguages);
    }

    // Serves the recorder, padded to `size` bytes, as the full installer.
    std::string ServeInstaller(const std::wstring& name, size_t size) {
        return WritePaddedRecorder(root_ + L"\\" + name, size);
    }
    // The installer's address: the path on nginx, or on another server; `checks` are more
    // settings lines, for the installer's checks.
    void Configure(const std::wstring& downloadPath, const std::wstring& server = std::wstring(),
                   const std::string& checks = std::string()) {
        WriteBytes(app_ / L"ConfigParams.ini",
                   "[Params]\r\n" + checks + "InstallerDownloadURL=" + Utf8(server.empty() ? url_ : server) +
                       Utf8(downloadPath) +
                       "\r\nOmnitureLink=" + Utf8(url_) + TrackingPath() +
                       "?p=$ProductName$&b=$BrandName$&l=$LangName$&s=$StageID$\r\n"
                       "ProductName=CorvanaE2E\r\nBrandName=Corvana\r\nBrandProduct=Corvana E2E Product\r\n"
                       "BrandProductDisplayName=Corvana E2E\r\nRegPath=WendrakeE2E\r\nDefaultLanguage=en\r\n"
                       "InstallFolderName=Corvana E2E\r\nVistaDefaultInstallPath=C:\\Games\r\n");
    }
    void Configure(const std::wstring& downloadPath, const std::string& checks) {
        Configure(downloadPath, std::wstring(), checks);
    }
    // Starts the installer: Wendrake.exe beside its files, or the program named.
    HWND StartWizard(const std::wstring& program = std::wstring()) {
        const std::wstring exe = program.empty() ? app_ / L"Wendrake.exe" : program;
        EXPECT_TRUE(wendrake_.Start(exe, L"", exe.substr(0, exe.rfind(L'\\') + 1)));
        HWND wizard = nullptr;
        WaitFor([&] {
            HWND w = FindProcessWindow(wendrake_.Id(), L"#32770");
            if (w && ::GetDlgItem(w, IDC_CONTINUE)) wizard = w;
            return wizard != nullptr;
        });
        return wizard;
    }
    // Presses a button of the wizard or of one of its pages, as a click would.
    static void Press(HWND wizard, int id) {
        HWND button = FindControl(wizard, id);
        ASSERT_NE(button, nullptr) << "no control " << id;
        ::PostMessageW(button, BM_CLICK, 0, 0);
    }
    static bool WaitVisible(HWND wizard, int id, bool visible = true) {
        return WaitFor([&] { return Visible(FindControl(wizard, id)) == visible; });
    }
    // The failure state: its text on the status line and the Retry button up. Waited for as a
    // whole: the button of the stage before may still be up for a moment when the wait begins.
    static bool WaitForFailure(HWND wizard, const std::wstring& text) {
        return WaitFor([&] {
            HWND retry = FindControl(wizard, IDC_CONTINUE);
            return Visible(retry) && TextOf(retry) == L"Retry" && TextOf(FindControl(wizard, IDC_STATUS)) == text;
        });
    }
    HWND MessageBoxOfWendrake() {
        HWND box = nullptr;
        WaitFor([&] {
            HWND w = FindProcessWindow(wendrake_.Id(), L"#32770");
            if (w && ::GetDlgItem(w, 0xFFFF)) box = w;
            return box != nullptr;
        });
        return box;
    }
    // From the first page to the download, the way a user goes.
    HWND StartDownload(const std::wstring& program = std::wstring()) {
        HWND wizard = StartWizard(program);
        if (!wizard) return nullptr;
        Press(wizard, IDC_CONTINUE);
        if (!WaitVisible(wizard, IDC_INSTALL_PATH)) return nullptr;
        Press(wizard, IDC_CONTINUE);
        return WaitVisible(wizard, IDC_PROGRESS) ? wizard : nullptr;
    }
    // Leaves through the features page, as a user who gives up does.
    void Leave(HWND wizard) {
        Press(wizard, IDC_CANCEL_SETUP);
        ASSERT_TRUE(WaitVisible(wizard, IDC_NO_THANKS));
        Press(wizard, IDC_NO_THANKS);
        EXPECT_EQ(wendrake_.Wait(15000), 0);
    }
    // Runs the wizard on a file whose checks can never pass: two whole downloads, then
    // nothing is started and nothing of the file is left.
    void ExpectRefused(const std::wstring& name) {
        std::string narrow = Utf8(name);
        HWND wizard = StartDownload();
        ASSERT_NE(wizard, nullptr);
        // Two probes and two whole-file requests, and the file gone: the engine has given up.
        EXPECT_TRUE(WaitFor(
            [&] {
                std::vector<NginxRequest> log = RequestsFor(narrow);
                return log.size() == 4 && FileSize(Downloads() + name) < 0;
            },
            60000))
            << narrow;
        Leave(wizard);
        ASSERT_EQ(RequestsFor(narrow).size(), 4u) << narrow;
        for (const NginxRequest& e : RequestsFor(narrow)) EXPECT_TRUE(e.range == "bytes=0-0" || e.range == "bytes=0-");
        EXPECT_TRUE(launches_.Records(name).empty()) << narrow;
        EXPECT_EQ(FileSize(Downloads() + name), -1) << narrow;
        EXPECT_EQ(FileSize(Downloads() + L"LastDownloadDate.txt"), -1);
    }
    // The raw "DownloadPath" value, or empty when there is none.
    std::string DownloadPathValue() {
        HKEY key = nullptr;
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\WendrakeE2E", 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
            return std::string();
        DWORD type = 0;
        char data[2048] = {};
        DWORD size = sizeof data;
        LONG read = ::RegQueryValueExW(key, L"DownloadPath", nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
        ::RegCloseKey(key);
        EXPECT_TRUE(read != ERROR_SUCCESS || type == REG_BINARY);
        return read == ERROR_SUCCESS ? std::string(data, size) : std::string();
    }
    // Each test's tracking address has a path of its own on the one nginx of the run.
    static std::string TrackingPath() {
        return std::string("/track/") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    }
    // The tracking requests nginx logged for this test, once `expected` have come (they end in
    // any order: sorted), each with the program's own agent; no browser may have been started.
    std::vector<std::string> TrackedRequests(size_t expected) {
        const std::string path = TrackingPath() + "?";
        WaitFor([&] { return NginxUris(path).size() >= expected; });
        for (const NginxRequest& r : NginxRequests()) {
            if (r.uri.compare(0, path.size(), path) != 0) continue;
            EXPECT_EQ(r.agent, Utf8(kTrackingAgent)) << r.uri;
        }
        EXPECT_TRUE(launches_.Records(L"iexplore.exe").empty());
        return NginxUris(path);
    }
    std::string Tracking(int stage) {
        return TrackingPath() + "?p=CorvanaE2E&b=Corvana&l=en&s=" + std::to_string(stage);
    }
    std::vector<std::wstring> DesktopLinks() {
        std::vector<std::wstring> names;
        WIN32_FIND_DATAW data;
        HANDLE find = ::FindFirstFileW((desktop_ / L"*.lnk").c_str(), &data);
        if (find == INVALID_HANDLE_VALUE) return names;
        do names.push_back(data.cFileName);
        while (::FindNextFileW(find, &data));
        ::FindClose(find);
        return names;
    }

    // Where the installer downloads: a folder of the product's own in the temporary folder.
    std::wstring Downloads() const { return temp_ / L"Corvana E2E Product\\"; }

    std::wstring url_, root_;
    TempDir app_;
    TempDir temp_;
    TempDir desktop_;
    EnvironmentOverride tmp_{L"TMP", temp_.Path().c_str()};
    EnvironmentOverride temp2_{L"TEMP", temp_.Path().c_str()};
    RegistryOverride desktopFolder_{HKEY_CURRENT_USER,
                                    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                                    L"Desktop", &desktop_.Path()};
    RegistryOverride userDesktopFolder_{HKEY_CURRENT_USER,
                                        L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
                                        L"Desktop", &desktop_.Path()};
    ScratchRegistryKey regPath_{HKEY_CURRENT_USER, L"Software\\WendrakeE2E"};
    ScratchRegistryKey uninstall_{HKEY_LOCAL_MACHINE, kUninstall};
    LaunchLog launches_;
    IExploreStandIn iexplore_;
    Process wendrake_;
};

}  // namespace

TEST_F(EndToEnd, FreshInstallRunsEveryStageAndStartsTheInstaller) {
    std::string served = ServeInstaller(L"CorvanaE2ESetup.exe", 3 * 1024 * 1024);
    Configure(L"/slow/$ProductName$Setup.exe");
    HWND wizard = StartWizard();
    ASSERT_NE(wizard, nullptr);
    EXPECT_EQ(TextOf(wizard), L"Corvana E2E Setup");
    EXPECT_EQ(TextOf(::GetDlgItem(wizard, IDC_CONTINUE)), L"Next >");

    Press(wizard, IDC_CONTINUE);
    ASSERT_TRUE(WaitVisible(wizard, IDC_INSTALL_PATH));
    ASSERT_TRUE(WaitFor([&] { return TextOf(::GetDlgItem(wizard, IDC_CONTINUE)) == L"I Agree"; }));
    // A folder with blanks and a trailing backslash: it arrives trimmed and unquoted.
    HWND edit = FindControl(wizard, IDC_INSTALL_PATH);
    ::SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"C:\\Games\\Corvana E2E Room\\"));
    Press(wizard, IDC_CONTINUE);
    ASSERT_TRUE(WaitVisible(wizard, IDC_PROGRESS));

    ASSERT_TRUE(launches_.WaitForRecords(L"CorvanaE2ESetup.exe", 1, 60000));
    std::vector<LaunchRecord> installer = launches_.Records(L"CorvanaE2ESetup.exe");
    EXPECT_EQ(installer[0].parameters, L"C:\\Games\\Corvana E2E Room");
    EXPECT_EQ(installer[0].showWindow, SW_SHOWNORMAL);
    EXPECT_EQ(wendrake_.Wait(15000), 0) << "the wizard closes itself after starting the installer";

    EXPECT_EQ(ReadBytes(Downloads() + L"CorvanaE2ESetup.exe"), served);
    EXPECT_FALSE(ReadBytes(Downloads() + L"LastDownloadDate.txt").empty());

    EXPECT_EQ(DownloadPathValue(), Utf8(app_.Path()) + std::string(1, '\0'));

    EXPECT_EQ(DesktopLinks(), (std::vector<std::wstring>{L"Install Corvana E2E Product.lnk"}));
    EXPECT_EQ(TrackedRequests(3), (std::vector<std::string>{Tracking(1), Tracking(2), Tracking(3)}));
}

TEST_F(EndToEnd, InstalledProductSkipsTheLocationPage) {
    std::wstring uninstall = L"C:\\Corvana\\uninstall.exe";
    RegistryOverride installed(HKEY_LOCAL_MACHINE, kUninstall, L"UninstallString", &uninstall);
    ServeInstaller(L"InstalledSetup.exe", 1024 * 1024);
    Configure(L"/InstalledSetup.exe");
    HWND wizard = StartWizard();
    ASSERT_NE(wizard, nullptr);

    Press(wizard, IDC_CONTINUE);
    ASSERT_TRUE(launches_.WaitForRecords(L"InstalledSetup.exe", 1, 60000));
    EXPECT_EQ(launches_.Records(L"InstalledSetup.exe")[0].parameters, L"");
    EXPECT_EQ(wendrake_.Wait(15000), 0);
    EXPECT_EQ(FindControl(wizard, IDC_INSTALL_PATH), nullptr) << "the location page was never made";
    EXPECT_EQ(TrackedRequests(2), (std::vector<std::string>{Tracking(1), Tracking(3)}));
}

TEST_F(EndToEnd, InterruptedDownloadResumesInTheNextRun) {
    const size_t total = 8 * 1024 * 1024;
    std::string served = ServeInstaller(L"ResumeSetup.exe", total);
    Configure(L"/slow/ResumeSetup.exe");
    std::wstring partial = Downloads() + L"ResumeSetup.exe";

    // First run: leave through the features page in the middle of the download.
    HWND wizard = StartWizard();
    ASSERT_NE(wizard, nullptr);
    Press(wizard, IDC_CONTINUE);
    ASSERT_TRUE(WaitVisible(wizard, IDC_INSTALL_PATH));
    Press(wizard, IDC_CONTINUE);
    ASSERT_TRUE(WaitFor([&] { return FileSize(partial) > 1024 * 1024; }, 30000));
    Press(wizard, IDC_CANCEL_SETUP);
    ASSERT_TRUE(WaitVisible(wizard, IDC_NO_THANKS));
    Press(wizard, IDC_NO_THANKS);
    ASSERT_EQ(wendrake_.Wait(15000), 0);
    long long kept = FileSize(partial);
    ASSERT_GT(kept, 0);
    ASSERT_LT(kept, static_cast<long long>(total));
    EXPECT_TRUE(launches_.Records(L"ResumeSetup.exe").empty());

    // Second run: only the missing bytes are asked for.
    wizard = StartWizard();
    ASSERT_NE(wizard, nullptr);
    Press(wizard, IDC_CONTINUE);
    ASSERT_TRUE(WaitVisible(wizard, IDC_INSTALL_PATH));
    Press(wizard, IDC_CONTINUE);
    ASSERT_TRUE(launches_.WaitForRecords(L"ResumeSetup.exe", 1, 60000));
    EXPECT_EQ(wendrake_.Wait(15000), 0);
    EXPECT_EQ(ReadBytes(partial), served);

    long long sent = 0;
    std::vector<std::string> ranges;
    for (const NginxRequest& e : NginxRequests()) {
        if (e.uri.find("ResumeSetup.exe") == std::string::npos) continue;
        sent += e.bytesSent;
        ranges.push_back(e.range);
    }
    std::printf("resume: %lld of %zu bytes kept by the first run; nginx sent %lld bytes over both runs (%.2f%%)\n",
                kept, total, sent, 100.0 * static_cast<double>(sent) / static_cast<double>(total));
    // Two runs, each a probe and a file request.
    ASSERT_EQ(ranges.size(), 4u);
    EXPECT_EQ(ranges[0], "bytes=0-0");
    EXPECT_EQ(ranges[1], "bytes=0-");
    EXPECT_EQ(ranges[2], "bytes=0-0");
    EXPECT_EQ(ranges[3], "bytes=" + std::to_string(kept) + "-");
    EXPECT_LT(sent, static_cast<long long>(total) * 105 / 100) << "bytes on the wire over both runs";
}

TEST_F(EndToEnd, ProgramFilesFolderIsRefusedFromWindows6On) {
    std::wstring vista = L"6.1", xp = L"5.1";
    auto version = std::make_unique<RegistryOverride>(HKEY_LOCAL_MACHINE, kNtVersion, L"CurrentVersion", &vista);
    ServeInstaller(L"ProtectedSetup.exe", 4 * 1024 * 1024);
    Configure(L"/slow/ProtectedSetup.exe");
    HWND wizard = StartWizard();
    ASSERT_NE(wizard, nullptr);
    Press(wizard, IDC_CONTINUE);
    ASSERT_TRUE(WaitVisible(wizard, IDC_INSTALL_PATH));

    wchar_t programFiles[MAX_PATH] = {};
    ASSERT_TRUE(::GetEnvironmentVariableW(L"ProgramFiles", programFiles, MAX_PATH));
    std::wstring inside = std::wstring(programFiles) + L"\\Corvana E2E";
    ::SendMessageW(FindControl(wizard, IDC_INSTALL_PATH), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(inside.c_str()));
    Press(wizard, IDC_CONTINUE);
    HWND box = MessageBoxOfWendrake();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(TextOf(::GetDlgItem(box, 0xFFFF)), L"Windows protects this folder.");
    EXPECT_EQ(TextOf(box), L"Wendrake");
    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(WaitFor([&] { return !::IsWindow(box); }));
    EXPECT_FALSE(Visible(::GetDlgItem(wizard, IDC_PROGRESS)));
    EXPECT_EQ(TextOf(FindControl(wizard, IDC_INSTALL_PATH)), inside);

    // The same folder is fine on Windows XP.
    version.reset();
    RegistryOverride older(HKEY_LOCAL_MACHINE, kNtVersion, L"CurrentVersion", &xp);
    Press(wizard, IDC_CONTINUE);
    EXPECT_TRUE(WaitVisible(wizard, IDC_PROGRESS));

    Press(wizard, IDC_CANCEL_SETUP);
    ASSERT_TRUE(WaitVisible(wizard, IDC_NO_THANKS));
    Press(wizard, IDC_NO_THANKS);
    EXPECT_EQ(wendrake_.Wait(15000), 0);
}

TEST_F(EndToEnd, FailedDownloadIsSaidAndRetriedOnceTheServerAnswers) {
    // The fault server serves nginx's folder, but refuses connections until this file is there.
    const std::wstring faultUrl = EnvironmentValue(L"WENDRAKE_FAULT_URL");
    ASSERT_FALSE(faultUrl.empty());
    const std::wstring serverUp = root_ + L"\\fault-server.up";
    struct TakeDown {
        std::wstring flag;
        ~TakeDown() { ::DeleteFileW(flag.c_str()); }
    } takeDown{serverUp};
    Configure(L"/RetrySetup.exe", faultUrl);
    HWND wizard = StartDownload();
    ASSERT_NE(wizard, nullptr);
    HWND status = ::GetDlgItem(wizard, IDC_STATUS);
    HWND retry = ::GetDlgItem(wizard, IDC_CONTINUE);
    ASSERT_TRUE(WaitFor([&] { return TextOf(status) == L"Trying to connect..."; }, 30000));
    EXPECT_FALSE(Visible(retry));

    // The server comes up without the file: a 404 ends the download, and says what happened.
    WriteBytes(serverUp, "");
    ASSERT_TRUE(WaitForFailure(wizard, kNotFound)) << Utf8(TextOf(status));
    // Later ticks of the progress timer must not bring back the reconnect text.
    ::Sleep(2500);
    EXPECT_EQ(TextOf(status), kNotFound);

    // Cancel shows the features page; Continue Installation comes back to the failure.
    Press(wizard, IDC_CANCEL_SETUP);
    ASSERT_TRUE(WaitVisible(wizard, IDC_NO_THANKS));
    EXPECT_FALSE(Visible(retry));
    Press(wizard, IDC_CONTINUE_INSTALL);
    ASSERT_TRUE(WaitForFailure(wizard, kNotFound)) << Utf8(TextOf(status));
    EXPECT_TRUE(DownloadPathValue().empty());

    // With the file in place, Retry downloads it and starts it.
    std::string served = ServeInstaller(L"RetrySetup.exe", 1024 * 1024);
    Press(wizard, IDC_CONTINUE);
    ASSERT_TRUE(launches_.WaitForRecords(L"RetrySetup.exe", 1, 60000));
    EXPECT_EQ(wendrake_.Wait(15000), 0);
    EXPECT_EQ(ReadBytes(Downloads() + L"RetrySetup.exe"), served);
    EXPECT_EQ(DownloadPathValue(), Utf8(app_.Path()) + std::string(1, '\0'));
}

// A hotel network answers with its sign-in page: the wizard says so, and the partial file of an
// earlier run and its stamp stay as they were, for the retry once the user has signed in.
TEST_F(EndToEnd, SignInPageIsSaidAndCostsNothing) {
    WriteBytes(root_ + L"\\PortalSetup.exe", "<!DOCTYPE html><html><body>Sign in to Hotel Wi-Fi</body></html>\n");
    ASSERT_TRUE(::CreateDirectoryW(Downloads().c_str(), nullptr));
    const std::string partial = "MZ" + std::string(200 * 1024, 'p');
    const std::string stamp = "Mon, 01 Jan 2001 00:00:00 GMT";
    WriteBytes(Downloads() + L"PortalSetup.exe", partial);
    WriteBytes(Downloads() + L"LastDownloadDate.txt", stamp);
    Configure(L"/PortalSetup.exe");
    HWND wizard = StartDownload();
    ASSERT_NE(wizard, nullptr);
    ASSERT_TRUE(WaitForFailure(wizard, kSignIn)) << Utf8(TextOf(::GetDlgItem(wizard, IDC_STATUS)));
    EXPECT_EQ(ReadBytes(Downloads() + L"PortalSetup.exe"), partial);
    EXPECT_EQ(ReadBytes(Downloads() + L"LastDownloadDate.txt"), stamp);

    std::string served = ServeInstaller(L"PortalSetup.exe", 512 * 1024);
    Press(wizard, IDC_CONTINUE);
    ASSERT_TRUE(launches_.WaitForRecords(L"PortalSetup.exe", 1, 60000));
    EXPECT_EQ(wendrake_.Wait(15000), 0);
    EXPECT_EQ(ReadBytes(Downloads() + L"PortalSetup.exe"), served);
}

// A proxy that asks for credentials (squid with basic authentication, started beside nginx by
// with_nginx.py --squid) stands between the wizard and nginx. Windows bypasses a proxy for the
// loopback unless the bypass list says "<-loopback>"; Wine bypasses only what the list names, so
// that setting holds for both. (Windows 8 and later also keep these settings in a binary
// "DefaultConnectionSettings" value, which this prefix does not have.)
TEST_F(EndToEnd, ProxyThatAsksForCredentialsIsAnsweredInTheSystemsDialog) {
    const std::wstring proxy = EnvironmentValue(L"WENDRAKE_SQUID_PROXY");
    ASSERT_FALSE(proxy.empty()) << "run under tests/support/with_nginx.py --squid";
    const std::wstring user = EnvironmentValue(L"WENDRAKE_SQUID_USER");
    const std::wstring password = EnvironmentValue(L"WENDRAKE_SQUID_PASSWORD");
    const std::wstring settings = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
    const std::wstring loopback = L"<-loopback>";
    RegistryOverride enable(HKEY_CURRENT_USER, settings, L"ProxyEnable", 1);
    RegistryOverride server(HKEY_CURRENT_USER, settings, L"ProxyServer", &proxy);
    RegistryOverride bypass(HKEY_CURRENT_USER, settings, L"ProxyOverride", &loopback);
    const size_t total = 8 * 1024 * 1024;
    std::string served = ServeInstaller(L"ProxySetup.exe", total);
    Configure(L"/slow/ProxySetup.exe");
    std::wstring partial = Downloads() + L"ProxySetup.exe";
    auto nextDialog = [&](HWND previous) {
        HWND dialog = nullptr;
        WaitFor([&] { return (dialog = CredentialsDialog(wendrake_.Id())) != nullptr && dialog != previous; }, 30000);
        return dialog != previous ? dialog : nullptr;
    };

    // A wrong password is refused by the proxy, and the dialog asks again; the right one lets the
    // download through. It is left in the middle.
    HWND wizard = StartDownload();
    ASSERT_NE(wizard, nullptr);
    HWND dialog = nextDialog(nullptr);
    ASSERT_NE(dialog, nullptr) << "no dialog asks for the proxy's credentials";
    SignInTo(dialog, user, L"wrong-" + password);
    ASSERT_TRUE(WaitFor([&] { return !::IsWindow(dialog); }));
    dialog = nextDialog(dialog);
    ASSERT_NE(dialog, nullptr) << "the wrong password was not asked for again";
    SignInTo(dialog, user, password);
    ASSERT_TRUE(WaitFor([&] { return FileSize(partial) > 1024 * 1024; }, 30000));
    Leave(wizard);
    long long kept = FileSize(partial);
    ASSERT_LT(kept, static_cast<long long>(total));

    // The next run asks again. Cancel is a failure that says so; Retry asks once more, and the
    // download resumes through the proxy.
    wizard = StartDownload();
    ASSERT_NE(wizard, nullptr);
    dialog = nextDialog(nullptr);
    ASSERT_NE(dialog, nullptr);
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    ASSERT_TRUE(WaitForFailure(wizard, kProxyRefused)) << Utf8(TextOf(::GetDlgItem(wizard, IDC_STATUS)));
    EXPECT_EQ(FileSize(partial), kept);
    Press(wizard, IDC_CONTINUE);
    dialog = nextDialog(dialog);
    ASSERT_NE(dialog, nullptr);
    SignInTo(dialog, user, password);
    ASSERT_TRUE(launches_.WaitForRecords(L"ProxySetup.exe", 1, 60000));
    EXPECT_EQ(wendrake_.Wait(15000), 0);
    EXPECT_EQ(ReadBytes(partial), served);
    EXPECT_EQ(ReadBytes(Downloads() + L"LastDownloadDate.txt").find(Utf8(password)), std::string::npos);

    // squid's own log: every request for the file went through it, refused until the user signed
    // in; what reached the file came signed in, each run a probe and then the rest of the file.
    // (squid logs a request as it ends, so the runs' requests are compared in any order.)
    std::vector<std::string> passed;
    size_t refused = 0;
    WaitFor([&] {
        passed.clear();
        refused = 0;
        for (const ProxyLogEntry& e : ProxyLog("ProxySetup.exe")) {
            if (e.status == 407) {
                ++refused;
                continue;
            }
            EXPECT_EQ(e.status, 206) << e.url;
            EXPECT_EQ(e.user, Utf8(user)) << e.url;
            passed.push_back(e.range);
        }
        return passed.size() >= 4;
    });
    std::sort(passed.begin(), passed.end());
    std::vector<std::string> expected = {"bytes=0-0", "bytes=0-", "bytes=0-0", "bytes=" + std::to_string(kept) + "-"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(passed, expected);
    EXPECT_GE(refused, 3u) << "the proxy refused every request before a sign-in";
}

// The main address is gone; a mirror serves the installer, its placeholders replaced.
TEST_F(EndToEnd, MirrorServesWhenTheMainAddressIsGone) {
    ASSERT_TRUE(::CreateDirectoryW((root_ + L"\\CorvanaE2E").c_str(), nullptr));
    std::string served = ServeInstaller(L"CorvanaE2E\\MirroredSetup.exe", 512 * 1024);
    Configure(L"/gone/MirroredSetup.exe", "InstallerMirrorURL2=" + Utf8(url_) + "/$ProductName$/MirroredSetup.exe\r\n");
    HWND wizard = StartDownload();
    ASSERT_NE(wizard, nullptr);
    ASSERT_TRUE(launches_.WaitForRecords(L"MirroredSetup.exe", 1, 60000));
    EXPECT_EQ(wendrake_.Wait(15000), 0);
    EXPECT_EQ(ReadBytes(Downloads() + L"MirroredSetup.exe"), served);
    std::vector<std::string> asked;
    for (const NginxRequest& e : RequestsFor("MirroredSetup.exe")) asked.push_back(e.uri + " " + std::to_string(e.status));
    EXPECT_EQ(asked, (std::vector<std::string>{"/gone/MirroredSetup.exe 404", "/CorvanaE2E/MirroredSetup.exe 206",
                                               "/CorvanaE2E/MirroredSetup.exe 206"}));
}

TEST_F(EndToEnd, InstallerThatIsNoProgramKeepsTheWindowAndIsDownloadedAgain) {
    // It starts as a program does, so it is downloaded; but the rest is no program.
    WriteBytes(root_ + L"\\BrokenSetup.exe", "MZ" + std::string(300 * 1024, 'x'));
    Configure(L"/BrokenSetup.exe");
    HWND wizard = StartDownload();
    ASSERT_NE(wizard, nullptr);

    // Downloaded whole, but Windows cannot start it: the window stays, says so, and the file
    // and its stamp go, so that the retry cannot find them complete.
    ASSERT_TRUE(WaitForFailure(wizard, kStartFailed)) << Utf8(TextOf(::GetDlgItem(wizard, IDC_STATUS)));
    EXPECT_FALSE(FileExists(Downloads() + L"BrokenSetup.exe"));
    EXPECT_FALSE(FileExists(Downloads() + L"LastDownloadDate.txt"));
    ::Sleep(2500);  // the close that follows a started installer would have come by now
    EXPECT_TRUE(wendrake_.Running());
    EXPECT_TRUE(DownloadPathValue().empty());

    std::string served = ServeInstaller(L"BrokenSetup.exe", 512 * 1024);
    Press(wizard, IDC_CONTINUE);
    ASSERT_TRUE(launches_.WaitForRecords(L"BrokenSetup.exe", 1, 60000));
    EXPECT_EQ(wendrake_.Wait(15000), 0);
    EXPECT_EQ(ReadBytes(Downloads() + L"BrokenSetup.exe"), served);
    EXPECT_FALSE(DownloadPathValue().empty());
    std::vector<std::string> ranges;
    for (const NginxRequest& e : NginxRequests())
        if (e.uri.find("BrokenSetup.exe") != std::string::npos) ranges.push_back(e.range);
    EXPECT_EQ(ranges, (std::vector<std::string>{"bytes=0-0", "bytes=0-", "bytes=0-0", "bytes=0-"}))
        << "the retry downloads the whole file again";
}

// Sha-256 of bytes as 64 hex digits, through the same system service the program uses.
std::string HexSha256(const std::string& bytes) {
    HCRYPTPROV provider = 0;
    HCRYPTHASH hash = 0;
    BYTE digest[32];
    DWORD size = sizeof digest;
    std::string hex;
    if (::CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT) &&
        ::CryptCreateHash(provider, CALG_SHA_256, 0, 0, &hash) &&
        ::CryptHashData(hash, reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()), 0) &&
        ::CryptGetHashParam(hash, HP_HASHVAL, digest, &size, 0)) {
        char two[3];
        for (BYTE b : digest) {
            std::snprintf(two, sizeof two, "%02x", b);
            hex += two;
        }
    }
    if (hash) ::CryptDestroyHash(hash);
    if (provider) ::CryptReleaseContext(provider, 0);
    return hex;
}

// The Last-Modified text nginx sends for a file it serves: its write time in HTTP's format.
std::string HttpDateOf(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    SYSTEMTIME time;
    char text[INTERNET_RFC1123_BUFSIZE + 1] = {};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
        !::FileTimeToSystemTime(&data.ftLastWriteTime, &time) ||
        !::InternetTimeFromSystemTimeA(&time, INTERNET_RFC1123_FORMAT, text, sizeof text))
        return std::string();
    return text;
}

TEST_F(EndToEnd, InstallerWithTheWrongHashOrSizeIsNeverStarted) {
    std::string served = ServeInstaller(L"HashedSetup.exe", 2 * 1024 * 1024);
    std::string hash = HexSha256(served);
    ASSERT_EQ(hash.size(), 64u);
    std::string wrong = hash;
    wrong[10] = wrong[10] == '0' ? '1' : '0';
    Configure(L"/HashedSetup.exe", "InstallerSHA256=" + wrong + "\r\n");
    ExpectRefused(L"HashedSetup.exe");

    // The right hash in upper case, with the right size: verified, then started.
    for (char& c : hash) c = static_cast<char>(toupper(c));
    Configure(L"/HashedSetup.exe",
              "InstallerSHA256=" + hash + "\r\nInstallerSize=" + std::to_string(served.size()) + "\r\n");
    HWND wizard = StartDownload();
    ASSERT_NE(wizard, nullptr);
    ASSERT_TRUE(launches_.WaitForRecords(L"HashedSetup.exe", 1, 60000));
    EXPECT_EQ(wendrake_.Wait(15000), 0);
    EXPECT_EQ(ReadBytes(Downloads() + L"HashedSetup.exe"), served);
}

// What an older copy of the program left in the root of the temporary folder (the file's first
// bytes and a stamp of nginx's date alone) is taken into the product's own folder and resumed.
TEST_F(EndToEnd, ResumedDownloadOfAnOlderCopyIsStillVerified) {
    const size_t total = 3 * 1024 * 1024, kept = 1024 * 1024 + 17;
    std::string served = ServeInstaller(L"ResumedHashSetup.exe", total);
    WriteBytes(temp_ / L"ResumedHashSetup.exe", served.substr(0, kept));
    std::string stamp = HttpDateOf(root_ + L"\\ResumedHashSetup.exe");
    ASSERT_FALSE(stamp.empty());
    WriteBytes(temp_ / L"LastDownloadDate.txt", stamp);
    Configure(L"/ResumedHashSetup.exe", "InstallerSHA256=" + HexSha256(served) + "\r\n");
    HWND wizard = StartDownload();
    ASSERT_NE(wizard, nullptr);
    ASSERT_TRUE(launches_.WaitForRecords(L"ResumedHashSetup.exe", 1, 60000));
    EXPECT_EQ(wendrake_.Wait(15000), 0);
    EXPECT_EQ(ReadBytes(Downloads() + L"ResumedHashSetup.exe"), served);
    std::vector<NginxRequest> log = RequestsFor("ResumedHashSetup.exe");
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[1].range, "bytes=" + std::to_string(kept) + "-") << "only the missing bytes were fetched";
    // Nothing is left behind in the old place.
    EXPECT_FALSE(FileExists(temp_ / L"ResumedHashSetup.exe"));
    EXPECT_FALSE(FileExists(temp_ / L"LastDownloadDate.txt"));
}

// Signed by our own test publisher under a root this prefix trusts; the same program with one
// byte changed after signing; and a certificate of the same name from a root nobody trusts.
TEST_F(EndToEnd, InstallerStartsOnlyWhenSignedByTheNamedPublisher) {
    TrustedTestRoot root;
    ASSERT_TRUE(root.Added());
    const std::string signer = "InstallerSigner=Corvana Test Publisher\r\n";
    for (const wchar_t* name : {L"Tampered.exe", L"Impostor.exe"}) {
        ASSERT_TRUE(::CopyFileW((BuildDir() + L"signed\\" + name).c_str(), (root_ + L"\\" + name).c_str(), FALSE));
        Configure(std::wstring(L"/") + name, signer);
        ExpectRefused(name);
    }
    // The genuine file, but another name is asked for.
    ASSERT_TRUE(::CopyFileW((BuildDir() + L"signed\\Signed.exe").c_str(), (root_ + L"\\Signed.exe").c_str(), FALSE));
    Configure(L"/Signed.exe", "InstallerSigner=Someone Else\r\n");
    ExpectRefused(L"Signed.exe");

    Configure(L"/Signed.exe", signer);
    HWND wizard = StartDownload();
    ASSERT_NE(wizard, nullptr);
    ASSERT_TRUE(launches_.WaitForRecords(L"Signed.exe", 1, 60000));
    EXPECT_EQ(wendrake_.Wait(15000), 0);
    EXPECT_EQ(ReadBytes(Downloads() + L"Signed.exe"), ReadBytes(BuildDir() + L"signed\\Signed.exe"));
}

// No DLL from the program's folder. Windows looks for a program's DLLs in its own folder first,
// except for its known DLLs; Wine prefers its built-in DLLs, but a DLL override "name=n,b" makes
// it take one found beside the program first, as Windows does. So the test plants a DLL that
// records every load (tests/e2e/planted) beside the real executable under names that Windows
// does not take from its known DLLs, prefers those names, walks the wizard to the installer's
// start on both ways of narrowing the search, and finds that none ran inside the wizard.

// The names: WinINet, CryptoAPI and WinVerifyTrust themselves, what they load in turn, and what
// the shell, COM and the theming of windows load by name.
const wchar_t* const kPlantedNames[] = {
    L"wininet", L"crypt32",  L"wintrust", L"winhttp",  L"urlmon",   L"secur32", L"sspicli",  L"userenv",
    L"profapi", L"propsys",  L"dwmapi",   L"uxtheme",  L"cryptbase", L"cryptsp", L"rsaenh",  L"msasn1",
    L"version", L"winmm",    L"iphlpapi", L"dnsapi",   L"netapi32", L"mpr",     L"mswsock",  L"bcrypt",
    L"ncrypt",  L"dhcpcsvc", L"winnsi",   L"msimg32",  L"riched20", L"oleacc",  L"shfolder", L"dbghelp",
    L"apphelp", L"ntmarta",  L"cabinet",  L"wtsapi32", L"textinputframework", L"edputil", L"srvcli"};
// Loaded by name by the baseline program when asked (below): never a system DLL.
const wchar_t kControlName[] = L"wendrakecontrol";

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(towlower(c));
    return text;
}

// The recording DLL under many names in one folder, and what it recorded there.
class PlantedDlls {
public:
    PlantedDlls(const std::wstring& folder, const std::set<std::wstring>& names) : folder_(folder) {
        for (const std::wstring& name : names) Plant(name);
        Forget();
    }
    ~PlantedDlls() {
        for (const std::wstring& name : planted_) ::DeleteFileW((folder_ + name + L".dll").c_str());
        Forget();
    }
    PlantedDlls(const PlantedDlls&) = delete;
    PlantedDlls& operator=(const PlantedDlls&) = delete;

    void Plant(const std::wstring& name) {
        EXPECT_TRUE(::CopyFileW((BuildDir() + L"tests\\PlantedDll.dll").c_str(), (folder_ + name + L".dll").c_str(),
                                FALSE))
            << Utf8(name);
        planted_.insert(name);
    }
    void Remove(const std::wstring& name) {
        ::DeleteFileW((folder_ + name + L".dll").c_str());
        planted_.erase(name);
    }
    void Forget() { ::DeleteFileW((folder_ + L"planted-loads.txt").c_str()); }
    // The planted names that the process of this executable loaded.
    std::set<std::wstring> LoadedBy(const std::wstring& exe) const {
        std::set<std::wstring> names;
        std::string log = ReadBytes(folder_ + L"planted-loads.txt");
        for (size_t start = 0, end; start < log.size(); start = end + 1) {
            end = log.find('\n', start);
            if (end == std::string::npos) end = log.size();
            std::string line = log.substr(start, end - start);
            size_t tab = line.find('\t');
            if (tab == std::string::npos || Lower(Wide(line.substr(tab + 1))) != Lower(exe)) continue;
            std::wstring dll = Lower(Wide(line.substr(0, tab)));
            dll = dll.substr(dll.rfind(L'\\') + 1);
            names.insert(dll.substr(0, dll.size() - 4));
        }
        return names;
    }

private:
    std::wstring folder_;
    std::set<std::wstring> planted_;
};

std::wstring Joined(const std::set<std::wstring>& names) {
    std::wstring list;
    for (const std::wstring& name : names) list += (list.empty() ? L"" : L", ") + name;
    return list.empty() ? L"none" : list;
}

// Tells Wine to take these names from beside the program first for every process of the named
// executable, for the life of the object. (Wine reads WINEDLLOVERRIDES from the Unix environment
// it was started with, which a Windows program cannot change for its children; a per-program
// entry in Wine's registry can.)
class PreferBesideProgram {
public:
    PreferBesideProgram(const std::wstring& exeName, const std::set<std::wstring>& names)
        : key_(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\" + exeName) {
        HKEY overrides = nullptr;
        EXPECT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, (key_.Path() + L"\\DllOverrides").c_str(), 0, nullptr, 0,
                                    KEY_SET_VALUE, nullptr, &overrides, nullptr),
                  ERROR_SUCCESS);
        const wchar_t order[] = L"native,builtin";
        for (const std::wstring& name : names)
            ::RegSetValueExW(overrides, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(order), sizeof order);
        if (overrides) ::RegCloseKey(overrides);
    }

private:
    ScratchRegistryKey key_;
};

// Runs the baseline program (tests/e2e/planted/DllBaseline.cpp: the installer's load-time
// imports, manifest and frame template, the same way of narrowing the search, the same system
// parts used the same way, none of the installer's own code) beside all the planted names, and
// returns those that the system loads for it from beside the program. A planted DLL refuses to
// stay, which may end a program at its start, so each run finds one name or more and the next
// runs without them.
std::set<std::wstring> WineRuntimeLoads(std::set<std::wstring> names, const std::wstring& address) {
    TempDir folder;
    const std::wstring exe = folder / L"DllBaseline.exe";
    EXPECT_TRUE(::CopyFileW((BuildDir() + L"tests\\DllBaseline.exe").c_str(), exe.c_str(), FALSE));
    PlantedDlls planted(folder.Path(), names);
    std::set<std::wstring> wine;
    for (size_t round = 0; round <= names.size() + 1; ++round) {
        planted.Forget();
        PreferBesideProgram prefer(L"DllBaseline.exe", names);
        Process baseline;
        EXPECT_TRUE(baseline.Start(exe, address, folder.Path()));
        long code = baseline.Wait(60000);
        std::set<std::wstring> loaded = planted.LoadedBy(exe);
        if (loaded.empty()) {
            EXPECT_EQ(code, 0) << "the baseline program did not end by itself";
            return wine;
        }
        for (const std::wstring& name : loaded) {
            wine.insert(name);
            names.erase(name);
            planted.Remove(name);
        }
    }
    ADD_FAILURE() << "the baseline program kept loading planted DLLs";
    return wine;
}

// Whether a DLL that a program asks for by name after narrowing the search (as the system does
// on its behalf) is taken from beside it.
bool ByNameLoadReachesTheProgramsFolder() {
    TempDir folder;
    const std::wstring exe = folder / L"DllBaseline.exe";
    EXPECT_TRUE(::CopyFileW((BuildDir() + L"tests\\DllBaseline.exe").c_str(), exe.c_str(), FALSE));
    PlantedDlls planted(folder.Path(), {kControlName});
    PreferBesideProgram prefer(L"DllBaseline.exe", {kControlName});
    Process baseline;
    EXPECT_TRUE(baseline.Start(exe, std::wstring(kControlName) + L".dll", folder.Path()));
    EXPECT_EQ(baseline.Wait(60000), 0);
    return planted.LoadedBy(exe).count(kControlName) == 1;
}

TEST_F(EndToEnd, NoDllIsLoadedFromTheProgramsFolderOnEitherWayOfNarrowingTheSearch) {
    // The whole way: WinINet for the download, CryptoAPI for the hash and the signer's
    // certificate, WinVerifyTrust for the signature, the shell for the installer's start.
    TrustedTestRoot root;
    ASSERT_TRUE(root.Added());
    const std::wstring installer = BuildDir() + L"signed\\Signed.exe";
    ASSERT_TRUE(::CopyFileW(installer.c_str(), (root_ + L"\\Signed.exe").c_str(), FALSE));
    Configure(L"/Signed.exe", "InstallerSigner=Corvana Test Publisher\r\nInstallerSHA256=" +
                                  HexSha256(ReadBytes(installer)) + "\r\n");

    // A planted DLL that refuses to stay can make a load inside Wine's own DLLs fail and the
    // baseline program crash: no crash debugger for the programs started here (an empty command
    // starts none), or it would outlive them and hold the test's output open.
    const std::wstring noDebugger;
    RegistryOverride crashDebugger(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows NT\\CurrentVersion\\AeDebug",
                                   L"Debugger", &noDebugger);

    size_t starts = 0;
    for (bool fullPathsOnly : {false, true}) {
        const char* way = fullPathsOnly ? "full paths only (Windows XP, Vista, 7 without its update)"
                                        : "system folder only (SetDefaultDllDirectories)";
        SCOPED_TRACE(way);
        EnvironmentOverride force(kTestOnlyForceFullPathsVariable, fullPathsOnly ? L"1" : nullptr);
        // The switch takes effect: a load by name reaches the program's folder only where the
        // search could not be narrowed. (This also shows that planting and preferring work.)
        EXPECT_EQ(ByNameLoadReachesTheProgramsFolder(), fullPathsOnly);

        std::set<std::wstring> names;
        for (const wchar_t* name : kPlantedNames) names.insert(name);
        std::set<std::wstring> wine = WineRuntimeLoads(names, url_ + L"/Signed.exe");
        // Under Wine 8 (README, "Safe to run from a download folder"): version, uxtheme and
        // msimg32 for any program with a window, dbghelp for WinVerifyTrust (through imagehlp).
        std::printf("%s: the system loads these planted names for the baseline program too, left out: %s\n", way,
                    Utf8(Joined(wine)).c_str());
        for (const wchar_t* ours : {L"wininet", L"crypt32", L"wintrust", L"secur32", L"bcrypt"})
            EXPECT_EQ(wine.count(ours), 0u) << "the baseline loads " << Utf8(ours) << ": the test could not see it";
        for (const std::wstring& name : wine) names.erase(name);

        PlantedDlls planted(app_.Path(), names);
        PreferBesideProgram prefer(L"Wendrake.exe", names);
        HWND wizard = StartDownload();
        // A planted DLL that ran refuses to stay, which may end the wizard early: say which.
        EXPECT_NE(wizard, nullptr) << "planted DLLs loaded: " << Utf8(Joined(planted.LoadedBy(app_ / L"Wendrake.exe")));
        if (!wizard) return;
        EXPECT_TRUE(launches_.WaitForRecords(L"Signed.exe", ++starts, 60000));
        EXPECT_EQ(wendrake_.Wait(15000), 0);
        EXPECT_EQ(Joined(planted.LoadedBy(app_ / L"Wendrake.exe")), L"none");
        if (::testing::Test::HasFailure()) return;
    }
}

namespace {

// The demo's package as a distributor ships it: packed into one executable by the real
// WendrakeCheck.exe, started alone in a folder of its own.
class PackedEndToEnd : public EndToEnd {
protected:
    // Packs the demo's settings (pointed at `download` for the installer and nginx for the rest),
    // texts and pictures into alone_\CorvanaPokerWebSetup.exe.
    void PackDemo(const std::wstring& download) {
        std::string config = ReadBytes(SourceDir() + L"demo\\ConfigParams.ini");
        Replace(config, "http://127.0.0.1:8765/$ProductName$/", Utf8(download));
        Replace(config, "http://127.0.0.1:8765", Utf8(url_));
        WriteBytes(package_ / L"ConfigParams.ini", config);
        ASSERT_TRUE(::CopyFileW((SourceDir() + L"demo\\Language.ini").c_str(), (package_ / L"Language.ini").c_str(), FALSE));
        for (const wchar_t* picture : {L"BackGround.bmp", L"Preloader.jpg"})
            ASSERT_TRUE(::CopyFileW((BuildDir() + L"sample-pictures\\" + picture).c_str(), (package_ / picture).c_str(),
                                    FALSE));
        // The folder in quotes with its trailing backslash, as a user types it.
        Process check;
        ASSERT_TRUE(check.Start(BuildDir() + L"WendrakeCheck.exe",
                                L"--pack \"" + Packed() + L"\" \"" + package_.Path() + L"\""));
        ASSERT_EQ(check.Wait(120000), 0) << "the sample package checks clean and is packed";
    }
    std::wstring Packed() const { return alone_ / L"CorvanaPokerWebSetup.exe"; }
    static void Replace(std::string& text, const std::string& from, const std::string& to) {
        for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
            text.replace(at, from.size(), to);
    }
    // The files in a folder, by name.
    static std::vector<std::wstring> FilesIn(const std::wstring& folder) {
        std::vector<std::wstring> names;
        WIN32_FIND_DATAW data;
        HANDLE find = ::FindFirstFileW((folder + L"*").c_str(), &data);
        if (find == INVALID_HANDLE_VALUE) return names;
        do
            if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(data.cFileName);
        while (::FindNextFileW(find, &data));
        ::FindClose(find);
        return names;
    }

    TempDir package_;
    TempDir alone_;
    ScratchRegistryKey demoRegPath_{HKEY_CURRENT_USER, L"Software\\Corvana\\Poker"};
};

// The colour the screen shows at a point of a window's client area: what was painted there, as
// a user sees it.
COLORREF OnScreen(HWND window, int x, int y) {
    POINT point = {x, y};
    ::ClientToScreen(window, &point);
    WindowDC screen(nullptr);
    return ::GetPixel(screen.Get(), point.x, point.y);
}

bool Near(COLORREF a, COLORREF b) {
    return std::abs(GetRValue(a) - GetRValue(b)) <= 16 && std::abs(GetGValue(a) - GetGValue(b)) <= 16 &&
           std::abs(GetBValue(a) - GetBValue(b)) <= 16;
}

// A picture file's colour at a pixel, decoded here by the same loader the installer uses.
COLORREF PictureColour(const std::wstring& path, int x, int y) {
    Picture picture;
    if (picture.Load(PackageFile(path)) != Picture::kLoaded) return CLR_INVALID;
    WindowDC screen(nullptr);
    HDC dc = ::CreateCompatibleDC(screen.Get());
    SIZE size = picture.SizeInPixels(dc);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen.Get(), size.cx, size.cy);
    HGDIOBJ old = ::SelectObject(dc, bitmap);
    picture.Draw(dc, 1.0);
    COLORREF colour = ::GetPixel(dc, x, y);
    ::SelectObject(dc, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(dc);
    return colour;
}

}  // namespace

TEST_F(PackedEndToEnd, AloneInAnEmptyFolderItWalksTheWholeWizard) {
    // The fault server (serving nginx's folder) refuses connections until told otherwise: the
    // download page stays up, "Trying to connect", for as long as the test looks at it.
    const std::wstring faultUrl = EnvironmentValue(L"WENDRAKE_FAULT_URL");
    ASSERT_FALSE(faultUrl.empty());
    const std::wstring serverUp = root_ + L"\\fault-server.up";
    struct TakeDown {
        std::wstring flag;
        ~TakeDown() { ::DeleteFileW(flag.c_str()); }
    } takeDown{serverUp};
    std::string served = ServeInstaller(L"CorvanaPokerSetup.exe", 1024 * 1024);
    PackDemo(faultUrl + L"/");
    ASSERT_EQ(FilesIn(alone_.Path()), std::vector<std::wstring>{L"CorvanaPokerWebSetup.exe"});
    ::OleInitialize(nullptr);  // for the picture loader here

    HWND wizard = StartWizard(Packed());
    ASSERT_NE(wizard, nullptr);
    EXPECT_EQ(TextOf(wizard), L"Corvana Poker Setup");
    // The language list, in the file's order.
    HWND languages = FindControl(wizard, IDC_LANGUAGE);
    ASSERT_NE(languages, nullptr);
    EXPECT_EQ(::SendMessageW(languages, CB_GETCOUNT, 0, 0), 4);
    const wchar_t* names[] = {L"English", L"Deutsch", L"Fran\x00E7" L"ais", L"\x0420\x0443\x0441\x0441\x043A\x0438\x0439"};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(::SendMessageW(languages, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(names[i])), i)
            << i;
    // The background: the sample's header band, not the plain colour the frame has without it.
    const COLORREF header = PictureColour(package_ / L"BackGround.bmp", 5, 5);
    EXPECT_EQ(header, RGB(0x0a, 0x2e, 0x22));
    EXPECT_TRUE(WaitFor([&] { return OnScreen(wizard, 5, 5) == header; })) << std::hex << OnScreen(wizard, 5, 5);

    Press(wizard, IDC_CONTINUE);
    ASSERT_TRUE(WaitVisible(wizard, IDC_INSTALL_PATH));
    Press(wizard, IDC_CONTINUE);
    ASSERT_TRUE(WaitVisible(wizard, IDC_PROGRESS));
    ASSERT_TRUE(WaitFor([&] { return TextOf(FindControl(wizard, IDC_STATUS)) == L"Trying to connect..."; }, 30000))
        << Utf8(TextOf(FindControl(wizard, IDC_STATUS)));
    // The download page's picture, at the page's place (21, 92): a white card and the green table.
    for (POINT at : {POINT{130, 95}, POINT{205, 60}}) {
        const COLORREF expected = PictureColour(package_ / L"Preloader.jpg", at.x, at.y);
        EXPECT_TRUE(WaitFor([&] { return Near(OnScreen(wizard, 21 + at.x, 92 + at.y), expected); }))
            << at.x << "," << at.y << ": " << std::hex << OnScreen(wizard, 21 + at.x, 92 + at.y) << " for " << expected;
    }

    WriteBytes(serverUp, "");
    ASSERT_TRUE(launches_.WaitForRecords(L"CorvanaPokerSetup.exe", 1, 60000));
    EXPECT_EQ(wendrake_.Wait(15000), 0);
    EXPECT_EQ(ReadBytes(temp_ / L"Corvana Poker\\CorvanaPokerSetup.exe"), served);  // the product's own folder
    // Nothing was written beside it; its folder is recorded as the download's.
    EXPECT_EQ(FilesIn(alone_.Path()), std::vector<std::wstring>{L"CorvanaPokerWebSetup.exe"});
    HKEY key = nullptr;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Corvana\\Poker", 0, KEY_QUERY_VALUE, &key), ERROR_SUCCESS);
    char recorded[1024] = {};
    DWORD size = sizeof recorded;
    EXPECT_EQ(::RegQueryValueExW(key, L"DownloadPath", nullptr, nullptr, reinterpret_cast<BYTE*>(recorded), &size),
              ERROR_SUCCESS);
    ::RegCloseKey(key);
    EXPECT_EQ(std::string(recorded, size), Utf8(alone_.Path()) + std::string(1, '\0'));
    ::OleUninitialize();
}

TEST_F(PackedEndToEnd, SettingsBesideThePackedInstallerChangeNothing) {
    ::CreateDirectoryW((root_ + L"\\poker").c_str(), nullptr);
    ::CreateDirectoryW((root_ + L"\\elsewhere").c_str(), nullptr);
    std::string served = ServeInstaller(L"poker\\CorvanaPokerSetup.exe", 512 * 1024);
    ServeInstaller(L"elsewhere\\OtherSetup.exe", 512 * 1024);
    PackDemo(url_ + L"/poker/");
    // What a web page's download could put beside it: another address, another language.
    WriteBytes(alone_ / L"ConfigParams.ini", "[Params]\r\nInstallerDownloadURL=" + Utf8(url_) +
                                                 "/elsewhere/OtherSetup.exe\r\nDefaultLanguage=de\r\n");

    HWND wizard = StartDownload(Packed());
    ASSERT_NE(wizard, nullptr);
    ASSERT_TRUE(launches_.WaitForRecords(L"CorvanaPokerSetup.exe", 1, 60000));
    EXPECT_EQ(wendrake_.Wait(15000), 0);
    EXPECT_EQ(ReadBytes(temp_ / L"Corvana Poker\\CorvanaPokerSetup.exe"), served);  // the product's own folder
    EXPECT_TRUE(RequestsFor("OtherSetup.exe").empty());
    EXPECT_TRUE(launches_.Records(L"OtherSetup.exe").empty());
    EXPECT_EQ(RequestsFor("/poker/CorvanaPokerSetup.exe").size(), 2u) << "the probe and the file, from the embedded address";
}
