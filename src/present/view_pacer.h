// How often a dialog shows the frame just written: at most 25 pictures a second, and the
// run's last frame always, so that the view ends on what was written last.
#pragma once

#include <chrono>

namespace qf {

class ViewPacer {
public:
    using Clock = std::chrono::steady_clock;
    /// The shortest time between two pictures.
    static constexpr std::chrono::milliseconds kInterval{40};

    /// A frame was written at `now`: true when its picture is due (it counts as shown);
    /// false when the frame is to be kept aside, as it may be the run's last.
    bool Offer(Clock::time_point now);
    /// The run is over: true when the last frame offered was kept aside and is still to be
    /// shown (once).
    bool Finish();

private:
    bool shown_ = false;
    bool kept_ = false;
    Clock::time_point last_{};
};

}  // namespace qf
