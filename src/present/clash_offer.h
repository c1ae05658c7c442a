// What a dialog offers when its run's plan finds outputs that would take each other's
// names: the words for what would be lost, and the naming that tells them apart. Both
// dialogs ask this before anything is written.
#pragma once

#include <optional>
#include <string>

#include "convert/run_options.h"
#include "present/output_settings.h"

namespace qf::present {

struct ClashOffer {
    std::string question;    ///< what would not be written, and the offer, for a yes/no box
    OutputSettings offered;  ///< the settings with the offer taken
};

/// The offer for `clashes` under `current`: day folders holding data files of one name
/// into one output folder get mirroring, other clashes across folders a pattern with the
/// folder's name, frames of one folder the suggested pattern. None when no naming would
/// tell them apart (stacks of one folder) or the offer would not be a valid choice.
std::optional<ClashOffer> OfferOtherNames(const NameClashes& clashes, const OutputSettings& current);

}  // namespace qf::present
