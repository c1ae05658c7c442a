#include "present/clash_offer.h"

#include "present/words.h"

namespace qf::present {
namespace {

std::string Lost(const NameClashes& clashes) {
    if (clashes.stacks) {
        return clashes.lost == 1
                   ? Words(QT_TRANSLATE_NOOP("qf::present", "1 stack would not be written: its name is taken by another data file's."))
                   : Words(QT_TRANSLATE_NOOP("qf::present",
                                             "%1 stacks would not be written: their names are taken by other data files'."),
                           {std::to_string(clashes.lost)});
    }
    return clashes.lost == 1
               ? Words(QT_TRANSLATE_NOOP("qf::present", "1 frame would not be written: its name is taken by another frame."))
               : Words(QT_TRANSLATE_NOOP("qf::present", "%1 frames would not be written: their names are taken by other frames."),
                       {std::to_string(clashes.lost)});
}

}  // namespace

std::optional<ClashOffer> OfferOtherNames(const NameClashes& clashes, const OutputSettings& current) {
    ClashOffer offer{{}, current};
    std::string question;
    // Day folders holding data files of one name clash in one output folder: only the
    // folder, in the path or in the name, tells them apart.
    if (clashes.acrossFolders && !current.outputDir.empty() && current.namePattern.empty()) {
        offer.offered.mirror = true;
        question = Words(QT_TRANSLATE_NOOP("qf::present",
                                           "Data files of the same name in different subfolders take the same names in "
                                           "the output folder. Write each subfolder's outputs into the same subfolder of "
                                           "the output folder?"));
    } else if (clashes.acrossFolders) {
        offer.offered.namePattern = clashes.stacks ? "{dir}_{stem}" : "{dir}_{stem}_{frame:04}";
        question = Words(QT_TRANSLATE_NOOP("qf::present", "Data files of the same name in different subfolders take the "
                                                          "same names. Name the outputs %1?"),
                         {offer.offered.namePattern});
    } else if (!clashes.stacks) {
        offer.offered.namePattern = kSuggestedPattern;
        question = Words(QT_TRANSLATE_NOOP("qf::present", "Name the outputs %1?"), {offer.offered.namePattern});
    }
    // Nothing to offer that would change the names.
    RunOptions check;
    if (offer.offered == current || !ApplyOutputSettings(offer.offered, check).empty()) return std::nullopt;
    offer.question = Lost(clashes) + " ";
    // Folders in the names save only what other folders took; the rest is asked about after.
    if (clashes.acrossFolders > 0 && clashes.acrossFolders < clashes.lost) {
        offer.question += (clashes.acrossFolders == 1
                               ? Words(QT_TRANSLATE_NOOP("qf::present", "1 of them is taken by a data file of another subfolder."))
                               : Words(QT_TRANSLATE_NOOP("qf::present",
                                                         "%1 of them are taken by data files of other subfolders."),
                                       {std::to_string(clashes.acrossFolders)})) +
                          " ";
    }
    offer.question += question;
    return offer;
}

}  // namespace qf::present
