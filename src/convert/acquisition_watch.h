// Watching data files while a camera writes them: a file is converted once it is as long as
// its header promises and has stayed so for a settle time; a file that stops short, grows
// past its promise or changes after its conversion is said once. This part decides only;
// listing the folders, the clock and the conversion are the caller's, so that a test can
// drive it look by look.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "control/orx_format.h"
#include "platform/file_io.h"

namespace qf {

/// Wall-clock time: it is compared with the files' modification times.
using WatchTime = std::chrono::system_clock::time_point;

/// How long a file must stay unchanged at its full length before it is converted, and how
/// long a short file may stay unchanged before it is given up.
struct WatchTimes {
    std::chrono::milliseconds settle{2000};
    std::chrono::milliseconds giveUp{600000};
};

/// One look at a data file: what the system says of it and what its first bytes promise.
struct FileLook {
    FileFacts facts;
    /// The header's fields (ParseOrxHeaderFields); unset while fewer bytes than a header
    /// exist, or when they are no ORX header (the conversion then says why).
    std::optional<OrxHeader> header;
    bool headerIncomplete = false;  ///< fewer bytes than a header: still being written
};

enum class WatchAction {
    kNothing,        ///< converted, given up or said already
    kWait,           ///< being written, or not settled yet
    kConvert,        ///< complete and settled
    kGiveUp,         ///< short, and unchanged for the give-up time
    kTooLong,        ///< longer than its header promises
    kChangedAfter,   ///< changed after its conversion
};

struct WatchStep {
    WatchAction action = WatchAction::kNothing;
    std::uint32_t completeFrames = 0;  ///< whole frames in the file now
    std::uint32_t headerFrames = 0;    ///< the frames its header promises (0: no header yet)
    /// kWait for a file complete but not settled yet: when it will be, unless it changes.
    std::optional<WatchTime> settledAt;
};

/// The frames of `header` complete in a file of `size` bytes.
std::uint32_t CompleteFrames(const OrxHeader& header, std::uint64_t size);

/// A file's modification time as wall-clock time.
WatchTime ModifiedAt(const FileFacts& facts);

/// What is known of each data file watched, by path.
class AcquisitionWatch {
public:
    explicit AcquisitionWatch(WatchTimes times) : times_(times) {}

    /// What to do with the file at `path`, looked at as `look` at `now`. kConvert,
    /// kGiveUp, kTooLong and kChangedAfter each come once for a file's contents: the
    /// caller acts, then tells Converted() when it converted it.
    WatchStep See(const std::string& path, const FileLook& look, WatchTime now);

    /// True when nothing more is to be done with the file at `path` while it is `facts`:
    /// converted as such, or given up or said already. Such a file need not be looked at.
    bool Done(const std::string& path, const FileFacts& facts) const;

    /// The file at `path` was converted (or found converted already) as `facts`: a later
    /// change of it is kChangedAfter, once.
    void Converted(const std::string& path, const FileFacts& facts);

private:
    enum class State { kWatching, kConverted, kSaid };
    struct Entry {
        State state = State::kWatching;
        FileFacts facts;
        WatchTime changedAt;  ///< when the file last changed, as far as we can tell
    };
    WatchTimes times_;
    std::map<std::string, Entry> files_;
};

}  // namespace qf
