#pragma once
// Included before every file of the test build. The 32-bit build uses the compiler's win32
// thread model (the shipped executable then needs nothing newer than Windows XP), whose
// standard library has no std::mutex. GoogleTest uses one only in its Notification helper;
// this one, on a Windows event, takes its place.

#include <bits/c++config.h>

#if !defined(_GLIBCXX_HAS_GTHREADS)
#include <windows.h>

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing {
namespace internal {

class Notification {
public:
    Notification() : event_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~Notification() { ::CloseHandle(event_); }
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;
    void Notify() { ::SetEvent(event_); }
    void WaitForNotification() { ::WaitForSingleObject(event_, INFINITE); }

private:
    HANDLE event_;
};

}  // namespace internal
}  // namespace testing
#endif
