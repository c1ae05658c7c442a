// The Output Options panel's choices: the shared ones of the presentation layer, which the
// Qt dialog edits too.
#pragma once

#include "present/output_settings.h"

namespace qf::win {

using present::ApplyOutputSettings;
using present::ExcludeGlobs;
using present::kCompressions;
using present::kLayouts;
using present::kSuggestedPattern;
using present::OutputReportLine;
using present::OutputSettings;
using present::OutputSummary;

}  // namespace qf::win
