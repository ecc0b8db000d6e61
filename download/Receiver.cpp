// The engine's judgement of what the server answers, and what becomes of the bytes: which
// answers may add to the partial file, which replace it, which leave it alone, and when the
// file is whole.
#include "download/Receiver.h"

#include <cwchar>

void Receiver::NewAttempt() {
    probeTotal_ = -1;
    probeVersion_ = FileVersion();
    rangeStart_ = 0;
    resumeVersion_ = FileVersion();
}

DownloadError Receiver::Probed(const HttpAnswer& probe) {
    if (probe.status != 200 && probe.status != 206 && probe.status != 416) return ErrorOfStatus(probe.status);
    // Refusing the first byte: the server has no file to give.
    if (probe.status == 416) return DownloadError::ServerError;
    probeTotal_ = ProbedSize(probe);
    probeVersion_ = probe.version;
    total_ = probeTotal_ > 0 ? probeTotal_ : 0;
    return DownloadError::None;
}

bool Receiver::AskFile(bool resume, bool sameAddress, const std::wstring& url) {
    long long partial = -1;
    if (!part_.OpenForAdding(partial)) return false;
    bool resumable = resume && partial > 0 &&
                     part_.Resumable(partial, probeTotal_, probeVersion_, sameAddress, checks_.ProveWholeFile());
    rangeStart_ = resumable ? partial : 0;
    // The rest must be the version the bytes on disk are: the stamp's, or, for bytes from another
    // address, the version this server has just named (versions of two servers do not compare).
    resumeVersion_ = rangeStart_ == 0 ? FileVersion() : sameAddress ? part_.Stamped().version : probeVersion_;
    received_ = rangeStart_;
    url_ = url;
    return true;
}

FileRequest Receiver::Asked() const {
    return {rangeStart_, resumeVersion_, probeTotal_, probeVersion_, part_.Stamped().size};
}

Receiver::Step Receiver::Failed(DownloadError error) {
    error_ = error;
    return Step::Fail;
}

Receiver::Step Receiver::Answered(const HttpAnswer& answer) {
    if (answer.status == 416) return RangeNotSatisfiable(answer);
    if (answer.status != 200 && answer.status != 206) return Failed(ErrorOfStatus(answer.status));
    if (IsEncodedBody(answer.encoding))
        return Failed(DownloadError::ServerError);  // compressed bytes are not the installer
    answerVersion_ = answer.version;
    contentType_ = answer.type;
    BodyPlan plan = PlanBody(answer, Asked());
    if (plan.kind == BodyPlan::Kind::Foreign) return Failed(DownloadError::ServerError);
    if (plan.kind == BodyPlan::Kind::Refetch) return Step::Refetch;
    fromZero_ = plan.fromZero;
    expectedEnd_ = plan.end;
    remaining_ = answer.length;
    judging_ = fromZero_;
    head_.clear();
    return judging_ ? Step::Read : Commit();
}

Receiver::Step Receiver::RangeNotSatisfiable(const HttpAnswer& answer) {
    long long size = WholeBy416(answer, Asked());
    if (size < 0) {
        // The whole file refused: the server has none.
        return rangeStart_ == 0 ? Failed(DownloadError::ServerError) : Step::Refetch;
    }
    named_ = true;
    total_ = size;
    expectedEnd_ = size;
    received_ = rangeStart_;
    return Step::Whole;
}

Receiver::Step Receiver::Commit() {
    // Checked before the first byte is kept.
    if (checks_.RefusesSize(expectedEnd_)) return Step::Mismatch;
    if (!part_.EnoughRoom(expectedEnd_, fromZero_, rangeStart_)) return Failed(DownloadError::DiskFull);
    if (!part_.Begin(answerVersion_, url_, expectedEnd_, fromZero_)) return Failed(DownloadError::FileInUse);
    if (fromZero_) {
        rangeStart_ = 0;
        received_ = 0;
    }
    if (answerVersion_.Named()) named_ = true;
    if (started_) started_(context_);
    return Step::Read;
}

Receiver::Step Receiver::Take(const char* bytes, DWORD length) {
    if (judging_) return Judge(bytes, length);
    if (length == 0) return BodyEnded();
    return Keep(bytes, length);
}

Receiver::Step Receiver::Judge(const char* bytes, DWORD length) {
    // The first bytes are held back until there are enough of them to tell what the body is:
    // an answer that cannot be the installer must leave the partial file and its stamp as
    // they were.
    if (length > 0) head_.insert(head_.end(), bytes, bytes + length);
    bool ended = length == 0 || (remaining_ >= 0 && static_cast<long long>(head_.size()) >= remaining_);
    if (!ended && head_.size() < kJudgedBytes) return Step::Read;
    if (head_.empty() && expectedEnd_ != 0) return Step::Short;  // nothing came
    if (CannotBeInstaller(part_.FilePath(), contentType_, head_.data(), head_.size()))
        return Failed(DownloadError::SignInNeeded);
    judging_ = false;
    Step next = Commit();
    if (next != Step::Read) return next;
    std::vector<char> judged;
    judged.swap(head_);
    if (!judged.empty()) {
        next = Keep(judged.data(), static_cast<DWORD>(judged.size()));
        if (next != Step::Read) return next;
    }
    if (length == 0 || judged.empty()) return BodyEnded();
    return Step::Read;
}

Receiver::Step Receiver::Keep(const char* bytes, DWORD length) {
    DWORD written = 0;
    DWORD error = part_.Write(bytes, length, written);
    received_ += written;  // before any end, so the count never falls short of the file
    if (written > 0) kept_ = true;
    if (error != ERROR_SUCCESS) return Failed(ErrorOfWrite(error));
    if (remaining_ > 0) {
        remaining_ -= length;
        if (remaining_ <= 0) return BodyEnded();
    }
    return Step::Read;
}

Receiver::Step Receiver::BodyEnded() {
    // Nothing short is complete: short of the file's size, or of the body's own length, the
    // transfer was interrupted and is resumed.
    if (expectedEnd_ >= 0 ? received_ < expectedEnd_ : remaining_ > 0) return Step::Short;
    return Step::Whole;
}

Receiver::Step Receiver::CheckWhole() {
    if (!part_.Hold()) return Failed(DownloadError::FileInUse);
    return checks_.Pass(part_.Held(), part_.FilePath(), received_) ? Step::Done : Step::Mismatch;
}

bool Receiver::Discard() {
    bool removed = part_.Discard();
    received_ = 0;
    total_ = 0;
    return removed;
}

bool Receiver::Kept() {
    bool kept = kept_;
    kept_ = false;
    return kept;
}
