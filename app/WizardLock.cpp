#include "app/WizardLock.h"

namespace {

// Long enough for a copy started a moment earlier to show its window on a busy machine; the
// refused copy has no window meanwhile, and gives up after this.
constexpr DWORD kWaitForWizardMs = 30000;
constexpr DWORD kLookEveryMs = 100;
// Enough of the product's name to recognise the lock in a debugger; the hash tells them apart.
constexpr size_t kReadableChars = 40;

// FNV-1a over the name's UTF-16 code units.
unsigned long long NameHash(const std::wstring& text) {
    unsigned long long hash = 14695981039346656037ull;
    for (wchar_t c : text) {
        for (int shift = 0; shift < 16; shift += 8) {
            hash ^= (static_cast<unsigned>(c) >> shift) & 0xFFu;
            hash *= 1099511628211ull;
        }
    }
    return hash;
}

// Mutexes and file mappings share one namespace: the block needs a name of its own.
std::wstring HolderBlockName(const std::wstring& lockName) { return lockName + L"-holder"; }

DWORD ReadHolderProcessId(const std::wstring& lockName) {
    KernelHandle block(::OpenFileMappingW(FILE_MAP_READ, FALSE, HolderBlockName(lockName).c_str()));
    if (!block) return 0;
    const void* view = ::MapViewOfFile(block.Get(), FILE_MAP_READ, 0, 0, sizeof(DWORD));
    if (!view) return 0;
    DWORD id = *static_cast<const volatile DWORD*>(view);
    ::UnmapViewOfFile(view);
    return id;
}

// The process's visible top-level window that no other window owns: its wizard (the wizard's
// message boxes and the folder browser are owned by it).
HWND MainWindowOf(DWORD processId) {
    struct Search {
        DWORD processId;
        HWND found;
    } search = {processId, nullptr};
    struct Visit {
        static BOOL CALLBACK Window(HWND window, LPARAM data) {
            auto* s = reinterpret_cast<Search*>(data);
            DWORD id = 0;
            ::GetWindowThreadProcessId(window, &id);
            if (id != s->processId || !::IsWindowVisible(window) || ::GetWindow(window, GW_OWNER)) return TRUE;
            s->found = window;
            return FALSE;
        }
    };
    ::EnumWindows(&Visit::Window, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace

std::wstring WizardLockName(const std::wstring& product) {
    std::wstring folded = product;
    if (!folded.empty()) ::CharUpperBuffW(&folded[0], static_cast<DWORD>(folded.size()));
    // Only letters and digits go into the name as they are: a backslash would name a namespace.
    std::wstring name = L"Local\\Wendrake-";
    for (size_t i = 0; i < folded.size() && i < kReadableChars; ++i) {
        wchar_t c = folded[i];
        bool plain = (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9');
        name += plain ? c : L'_';
    }
    name += L'-';
    unsigned long long hash = NameHash(folded);
    for (int shift = 60; shift >= 0; shift -= 4) name += L"0123456789abcdef"[(hash >> shift) & 0xF];
    return name;
}

WizardLock::~WizardLock() {
    if (held_) ::ReleaseMutex(mutex_.Get());
}

bool WizardLock::Acquire(const std::wstring& product) {
    name_ = WizardLockName(product);
    mutex_.Reset(::CreateMutexW(nullptr, FALSE, name_.c_str()));
    // A lock made by a copy with more rights (started as administrator) exists, but is not ours
    // to open.
    if (!mutex_) return ::GetLastError() != ERROR_ACCESS_DENIED;
    // Ownership, not existence, decides: a refused copy's open handle keeps the mutex in being,
    // and a holder that ended without letting go leaves it abandoned, which is ours to take.
    DWORD taken = ::WaitForSingleObject(mutex_.Get(), 0);
    held_ = taken == WAIT_OBJECT_0 || taken == WAIT_ABANDONED;
    if (!held_) return false;

    holderBlock_.Reset(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(DWORD),
                                            HolderBlockName(name_).c_str()));
    if (holderBlock_) {
        if (void* view = ::MapViewOfFile(holderBlock_.Get(), FILE_MAP_WRITE, 0, 0, sizeof(DWORD))) {
            *static_cast<volatile DWORD*>(view) = ::GetCurrentProcessId();
            ::UnmapViewOfFile(view);
        }
    }
    return true;
}

void WizardLock::BringHolderToFront() {
    if (!mutex_ || held_) return;
    const DWORD started = ::GetTickCount();
    for (;;) {
        // The holder takes the lock before it makes its window, so a copy started at the same
        // moment may get here first.
        if (DWORD holder = ReadHolderProcessId(name_)) {
            if (HWND wizard = MainWindowOf(holder)) {
                BringToFront(wizard);
                return;
            }
        }
        // The pause between looks, cut short when the holder ends: its lock then comes to us.
        DWORD waited = ::WaitForSingleObject(mutex_.Get(), kLookEveryMs);
        if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) {
            ::ReleaseMutex(mutex_.Get());
            return;
        }
        if (waited != WAIT_TIMEOUT || ::GetTickCount() - started > kWaitForWizardMs) return;
    }
}

void BringToFront(HWND window) {
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    // The restore runs on the window's own thread, and Windows lets a process take the
    // foreground only when the foreground process allows it: this copy, whose message box the
    // user has just answered, passes that right on. Asynchronous, so that a hung wizard cannot
    // hold this copy.
    ::AllowSetForegroundWindow(process);
    if (::IsIconic(window)) ::ShowWindowAsync(window, SW_RESTORE);
    ::SetForegroundWindow(window);
}
