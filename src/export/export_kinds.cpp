#include "export/export_kinds.h"

#include "export/false_color_bitmap.h"
#include "export/grayscale_bitmap.h"
#include "export/tiff_export.h"

namespace qf {

const std::array<ExportKindInfo, 4>& ExportKinds() {
    static const std::array<ExportKindInfo, 4> kinds = {{
        {kNormalizedTiff, "normalized-tiff", "normalized", ".tiff", true, false, WriteNormalizedTiff},
        {kStandardizedTiff, "standardized-tiff", "standardized", ".tiff", true, false, WriteStandardizedTiff},
        {kGrayscaleBitmap, "grayscale-bmp", "grayscale", ".bmp", false, true, WriteGrayscaleBitmap},
        {kFalseColorBitmap, "color-bmp", "color", ".bmp", false, false, WriteFalseColorBitmap},
    }};
    return kinds;
}

std::string OutputExtension(const ExportKindInfo& kind, const ExportOptions& options) {
    return options.ome && options.stack && kind.tiff ? ".ome.tif" : kind.extension;
}

const ExportKindInfo* FindExportKind(int kind) {
    if (kind < 0 || kind >= static_cast<int>(ExportKinds().size())) return nullptr;
    return &ExportKinds()[static_cast<std::size_t>(kind)];
}

}  // namespace qf
