#include "present/view_pacer.h"

namespace qf {

bool ViewPacer::Offer(Clock::time_point now) {
    if (shown_ && now - last_ < kInterval) {
        kept_ = true;
        return false;
    }
    shown_ = true;
    last_ = now;
    kept_ = false;
    return true;
}

bool ViewPacer::Finish() {
    const bool kept = kept_;
    kept_ = false;
    return kept;
}

}  // namespace qf
