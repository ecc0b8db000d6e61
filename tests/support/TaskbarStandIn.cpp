#include "tests/support/TaskbarStandIn.h"

#include <sstream>

namespace {

const wchar_t kServerKey[] = L"CLSID\\{56FDF344-FD6D-11d0-958A-006097C9A090}\\InprocServer32";

std::wstring StandInPath() { return BuildDir() + L"tests\\StandInTaskbar.dll"; }

}  // namespace

TaskbarStandIn::TaskbarStandIn(bool likeVista)
    : log_(dir_ / L"taskbar.log"),
      logVariable_(L"WENDRAKE_TASKBAR_LOG", log_.c_str()),
      vistaVariable_(L"WENDRAKE_TASKBAR_VISTA", likeVista ? L"1" : nullptr) {
    const std::wstring path = StandInPath(), apartment = L"Apartment";
    registered_ = FileExists(path);
    server_ = std::make_unique<RegistryOverride>(HKEY_CLASSES_ROOT, kServerKey, L"", &path);
    threading_ = std::make_unique<RegistryOverride>(HKEY_CLASSES_ROOT, kServerKey, L"ThreadingModel", &apartment);
}

TaskbarStandIn::~TaskbarStandIn() = default;

std::vector<std::string> TaskbarStandIn::Calls() const {
    std::vector<std::string> calls;
    std::istringstream lines(ReadBytes(log_));
    for (std::string line; std::getline(lines, line);) calls.push_back(line);
    return calls;
}

std::vector<std::string> TaskbarStandIn::Progress() const {
    std::vector<std::string> progress;
    for (const std::string& call : Calls()) {
        std::istringstream words(call);
        std::string name, window, a, b;
        words >> name >> window >> a >> b;
        if (name == "SetProgressState") progress.push_back("state " + a);
        if (name == "SetProgressValue") progress.push_back("value " + a + " " + b);
    }
    return progress;
}

void TaskbarStandIn::ButtonCreated(HWND window) {
    ::SendMessageW(window, ::RegisterWindowMessageW(L"TaskbarButtonCreated"), 0, 0);
}
