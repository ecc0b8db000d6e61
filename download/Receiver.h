#pragma once
// What one attempt receives: the probe's findings, the file request's answer and its body, kept
// in the partial file. It decides what each answer and each piece of body means and tells the
// engine what to do next; it issues no request and knows nothing of WinINet's threads. The
// engine calls it under its lock.

#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "download/Answer.h"
#include "download/Failures.h"
#include "download/InstallerChecks.h"
#include "download/PartialFile.h"

class Receiver {
public:
    // What the engine does next.
    enum class Step {
        Read,      // read (more of) the body
        Fail,      // end the attempt with Error()
        Refetch,   // the answer cannot extend the bytes on disk: ask for the whole file
        Short,     // the body ended early: a network error, resumed after a pause
        Whole,     // the whole file is on disk: hold and check it (CheckWhole)
        Done,      // the whole file is held and has passed its checks
        Mismatch,  // not the distributor's file
    };

    // The progress counts the owner reads (the engine's), and what to call once the first byte
    // of an answer is to be kept.
    Receiver(std::atomic<long long>& total, std::atomic<long long>& received, std::atomic<bool>& named,
             void (*started)(void* context), void* context)
        : total_(total), received_(received), named_(named), started_(started), context_(context) {}
    Receiver(const Receiver&) = delete;
    Receiver& operator=(const Receiver&) = delete;

    PartialFile& Partial() { return part_; }
    InstallerChecks& Checks() { return checks_; }
    DownloadError Error() const { return error_; }

    // A new attempt: nothing known of the server's file.
    void NewAttempt();
    // The probe's answer (not a redirect): takes the whole size and the version from a 200 or
    // 206; else why the server has no file to give.
    DownloadError Probed(const HttpAnswer& probe);
    // Sets up the file request to `url`: from the end of the bytes on disk when `resume` and they
    // may be continued (`sameAddress`: they came from that address), else from the first byte.
    // False when the partial file cannot be opened.
    bool AskFile(bool resume, bool sameAddress, const std::wstring& url);
    std::wstring Headers(bool probe) const { return RequestHeaders(probe, rangeStart_, resumeVersion_); }
    // The file request's answer (not a redirect). Read: its body follows (none when EmptyBody).
    Step Answered(const HttpAnswer& answer);
    bool EmptyBody() const { return remaining_ == 0; }
    // A piece of the body; no bytes: the body has ended.
    Step Take(const char* bytes, DWORD length);
    // Holds the whole file and checks it through that handle: Done, Mismatch or Fail.
    Step CheckWhole();
    // Removes the file and its stamp, the progress with them; false when they could not be removed.
    bool Discard();
    // Whether bytes were kept since the last call.
    bool Kept();
    // Drops what an answer left half-judged (the engine moves to another address).
    void Abandon() { judging_ = false; }

private:
    FileRequest Asked() const;
    Step Failed(DownloadError error);
    Step RangeNotSatisfiable(const HttpAnswer& answer);
    Step Commit();
    Step Judge(const char* bytes, DWORD length);
    Step Keep(const char* bytes, DWORD length);
    Step BodyEnded();

    std::atomic<long long>& total_;
    std::atomic<long long>& received_;
    std::atomic<bool>& named_;
    void (*started_)(void* context);
    void* context_;
    PartialFile part_;
    InstallerChecks checks_;
    DownloadError error_ = DownloadError::None;
    std::wstring url_;  // the address the file request goes to

    // The attempt: the probe's findings and which bytes the file request asks for.
    long long probeTotal_ = -1;  // the whole size the probe named; -1 unknown
    FileVersion probeVersion_;
    long long rangeStart_ = 0;   // first byte asked for: the partial file's size when resumed, else 0
    FileVersion resumeVersion_;  // when resumed: the version the rest must be (If-Range)

    // The file answer.
    FileVersion answerVersion_;
    std::wstring contentType_;
    bool fromZero_ = false;       // its body starts at the file's first byte
    bool judging_ = false;        // ... and has not yet been judged
    std::vector<char> head_;      // the body's first bytes while judging
    long long remaining_ = -1;    // body bytes still to come; -1 when unknown
    long long expectedEnd_ = -1;  // the whole file's size as this answer and the probe tell it; -1 unknown
    bool kept_ = false;           // bytes were kept since Kept() was last asked
};
