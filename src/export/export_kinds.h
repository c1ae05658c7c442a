// The four output kinds in one table: what each is called, the extension of its files,
// and its writer. Everything that depends on the kind looks it up here.
#pragma once

#include <array>

#include "export/export_options.h"
#include "export/frame_image.h"
#include "platform/output_file.h"

namespace qf {

/// Every writer has this shape: one frame in, laid out as `options` says, written or the
/// reason not.
using FrameWriter = Status (*)(const OutputTarget& target, const FrameImage& frame, const ExportOptions& options);

struct ExportKindInfo {
    ExportKind kind;
    const char* name;       ///< as the command line takes it: "normalized-tiff", ...
    const char* shortName;  ///< for name patterns: "normalized", ...
    const char* extension;  ///< ".tiff" or ".bmp"
    bool tiff;              ///< a TIFF kind, whose outputs that cannot be created stop a run
    bool highBytes;         ///< the writer takes `highBytes` (8 bits) instead of `samples`
    FrameWriter write;
};

/// The kinds in the radio group's order, 0 to 3.
const std::array<ExportKindInfo, 4>& ExportKinds();

/// The kind numbered `kind`, or null when it is none of 0 to 3.
const ExportKindInfo* FindExportKind(int kind);

/// The ending of `kind`'s outputs with `options`: the kind's own, or ".ome.tif" for an
/// OME-TIFF stack.
std::string OutputExtension(const ExportKindInfo& kind, const ExportOptions& options);

}  // namespace qf
