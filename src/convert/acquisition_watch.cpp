#include "convert/acquisition_watch.h"

namespace qf {

std::uint32_t CompleteFrames(const OrxHeader& header, std::uint64_t size) {
    const std::uint64_t frameBytes = header.storedSamples() * 2;
    if (frameBytes == 0 || size < header.headerLength) return 0;
    const std::uint64_t whole = (size - header.headerLength) / frameBytes;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(whole, header.frameCount));
}

WatchTime ModifiedAt(const FileFacts& facts) {
#ifdef _WIN32
    // FILETIME: 100 ns ticks since 1601; the system clock counts from 1970.
    constexpr std::int64_t kTicksTo1970 = 116444736000000000LL;
    const auto since1970 = std::chrono::duration<std::int64_t, std::ratio<1, 10000000>>(facts.modified - kTicksTo1970);
#else
    const auto since1970 = std::chrono::nanoseconds(facts.modified);
#endif
    return WatchTime(std::chrono::duration_cast<WatchTime::duration>(since1970));
}

WatchStep AcquisitionWatch::See(const std::string& path, const FileLook& look, WatchTime now) {
    const auto [at, fresh] = files_.try_emplace(path);
    Entry& entry = at->second;
    WatchStep step;
    if (look.header) {
        step.headerFrames = look.header->frameCount;
        step.completeFrames = CompleteFrames(*look.header, look.facts.size);
    }
    if (entry.state == State::kSaid) return step;
    if (entry.state == State::kConverted) {
        if (SameFileUnchanged(entry.facts, look.facts)) return step;
        entry.state = State::kSaid;
        step.action = WatchAction::kChangedAfter;
        return step;
    }
    if (fresh) {
        // A file found as it is may have stopped changing long ago (a restart, --once); its
        // modification time says since when, unless that lies in the future.
        entry.changedAt = std::min(ModifiedAt(look.facts), now);
        entry.facts = look.facts;
    } else if (!SameFileUnchanged(entry.facts, look.facts)) {
        entry.changedAt = now;
        entry.facts = look.facts;
    }
    const auto still = now - entry.changedAt;
    step.action = WatchAction::kWait;
    if (look.header && look.facts.size > look.header->fileLength()) {
        entry.state = State::kSaid;
        step.action = WatchAction::kTooLong;
    } else if ((!look.header && !look.headerIncomplete) || (look.header && look.facts.size == look.header->fileLength())) {
        // Complete as its header promises, or no header of ours at all (the conversion then
        // says what it is): once settled, it is converted.
        if (still >= times_.settle) step.action = WatchAction::kConvert;
        else step.settledAt = entry.changedAt + times_.settle;
    } else if (still >= times_.giveUp) {
        entry.state = State::kSaid;
        step.action = WatchAction::kGiveUp;
    }
    return step;
}

bool AcquisitionWatch::Done(const std::string& path, const FileFacts& facts) const {
    const auto at = files_.find(path);
    if (at == files_.end()) return false;
    return at->second.state == State::kSaid ||
           (at->second.state == State::kConverted && SameFileUnchanged(at->second.facts, facts));
}

void AcquisitionWatch::Converted(const std::string& path, const FileFacts& facts) {
    Entry& entry = files_[path];
    entry.state = State::kConverted;
    entry.facts = facts;
}

}  // namespace qf
