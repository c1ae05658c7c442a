// Writes ORX files: the samples, tests and `quillfen-cli synth` make data files with it.
// The conversion itself never writes one.
#pragma once

#include <cstdint>
#include <memory>

#include "control/orx_format.h"
#include "platform/output_file.h"

namespace qf {

/// Writes an ORX file frame by frame, crash-safe like every output. Frames must come in
/// order and all of them before Finish().
class OrxWriter {
public:
    OrxWriter(OutputTarget target, const OrxHeader& header);
    ~OrxWriter();
    OrxWriter(const OrxWriter&) = delete;
    OrxWriter& operator=(const OrxWriter&) = delete;
    /// `samples` holds header.storedSamples() values.
    bool WriteFrame(const std::uint16_t* samples);
    /// Completes the file; fails when a frame is missing or a write failed.
    Status Finish();
    /// Ends the file as an acquisition that was cut off does: after the frames written so
    /// far and the first `count` samples of `partial` (the header still counts every frame).
    Status FinishCutOff(const std::uint16_t* partial, std::size_t count);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace qf
