// Where a run stands as a dialog draws it: the snapshot a run's watch (run_watch.h) gives the
// window, and what it tells the window changed. Plain values, free of the acquisition control's
// headers, so that a window's code that includes <windows.h> may hold them.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "convert/run_progress.h"
#include "present/frame_pixels.h"
#include "present/profile_plot.h"

namespace qf::present {

/// How a run stands, as the status light shows it.
enum class RunState {
    kRunning,   ///< converting, or watching its folder after the run
    kClean,     ///< ended with every frame written
    kFailures,  ///< ended with failures, or found no data files (most often the wrong folder)
    kStopped,   ///< ended by a stop
};

/// What the strip says.
enum class RunPhase { kReading, kPlanning, kConverting, kWatching, kStopping, kEnded };

/// What changed, told on the run's thread right after the snapshot took it in.
enum class RunChange {
    kProgress,  ///< counts or words; told once until the next Snapshot, so a busy window is not flooded
    kFile,      ///< a data file started
    kPicture,   ///< a new picture is due
    kLook,      ///< the watch after the run waits for something else
    kEnd,       ///< the run is over; nothing is told after it
};

/// A frame as the view shows it, with its profiles on the run's axis.
struct RunPicture {
    std::shared_ptr<const FramePixels> pixels;  ///< never null
    ProfilePlot row;     ///< pixels->row as plotted
    ProfilePlot column;  ///< pixels->column as plotted
    int fileFrames = 0;  ///< frames written in its data file when it was pictured...
    long runFrames = 0;  ///< ...and in the run
    int number = 0;      ///< 1 for the run's first picture, then counting on
};

struct RunSnapshot {
    RunPhase phase = RunPhase::kReading;
    RunState state = RunState::kRunning;
    /// The strip's line: "Planning: 2 data files found", "File 3 of 12: scan.orx, frame 4 of
    /// 300", "watching day1: 12 converted", "Stopping after the current frame...", how it ended.
    std::string line;
    /// While converting, once a frame is done: "12.3 frames/s, 40 s left"; else empty.
    std::string pace;
    /// `line` and `pace` as one line, for a strip whose bar carries no text.
    std::string strip;
    /// The bar, 0 to 1: the pixels done of the plan; while the watch waits, the frames
    /// written of the first file being written; 1 once a run ended whole.
    double fraction = 0;
    RunProgress progress;  ///< frames and pixels planned and done
    std::string filePath;  ///< the data file being converted ("" before the first)
    int fileIndex = 0;     ///< from 1; 0 before the first data file
    int fileTotal = 0;
    int fileFrames = 0;    ///< written in the current data file
    int filePlanned = 0;   ///< the current data file's frames (0 until known)
    int planningFound = 0; ///< data files whose headers the plan read
    int failures = 0;
    long framesWritten = 0;  ///< at the end, the report's
    std::optional<RunPicture> picture;  ///< the latest picture of this run
    /// At the end: the message for a run that stopped or had failures ("" for a clean run)...
    std::string endMessage;
    /// ...and everything the report says.
    std::vector<std::string> reportLines;
};

}  // namespace qf::present
