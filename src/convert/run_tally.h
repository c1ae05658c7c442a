// What a finished run amounts to, counted the same way for every front end: frames written
// of frames planned, data files complete, partial or failed; and, for a folder that held
// no data file, how many its subfolders hold.
#pragma once

#include <vector>

#include <string>

#include "convert/batch_run.h"

namespace qf {

struct RunTally {
    long framesPlanned = 0;
    long framesWritten = 0;  ///< put in place (in a dry run: to be)
    long framesKept = 0;     ///< existed and stayed (--no-clobber)
    int complete = 0;        ///< data files whose every frame was written or kept
    int partial = 0;         ///< some frames written or kept, not all
    int failed = 0;          ///< no frame written or kept
    int notReached = 0;      ///< data files a stop left untouched
};

RunTally TallyRun(const BatchReport& report);

/// The run found no data file in its input, and nothing failed: an empty folder, or one
/// whose data files lie in subfolders.
bool FoundNoDataFiles(const BatchReport& report);

/// The reports of a run's inputs as one: the counts added up, the lists joined in order,
/// the stop the run stopped for.
BatchReport CombinedReport(const std::vector<BatchReport>& reports);

/// Data files (as TakenAsDataFile has them, with `onlyOrx`) in the subfolders of `folder`,
/// down to `depth` levels, links not followed; counting ends at `limit`. For "N data files
/// in subfolders (use --recursive)".
int DataFilesInSubfolders(const std::string& folder, bool onlyOrx, int depth = 4, int limit = 100000);

}  // namespace qf
