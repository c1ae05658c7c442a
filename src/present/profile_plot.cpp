#include "present/profile_plot.h"

#include <algorithm>

namespace qf::present {

ProfilePlot PlotProfile(const std::vector<std::uint16_t>& values, ExportKind kind, int inputBits) {
    ProfilePlot plot;
    inputBits = std::clamp(inputBits, 8, 16);
    // The profile runs through the brightest sample: its largest value is the frame's peak.
    const std::uint32_t peak = values.empty() ? 0 : *std::max_element(values.begin(), values.end());
    plot.plotted.assign(values.begin(), values.end());
    if (kind == kNormalizedTiff) {
        // As the normalized output holds it: stretched so that the peak is 65535.
        for (std::uint32_t& v : plot.plotted) v = peak > 0 ? static_cast<std::uint32_t>(std::uint64_t{v} * 65535u / peak) : 0;
        plot.axisTop = 65535;
    } else if (inputBits < 16) {
        // The camera's own intensities: the bitmap kinds hold them scaled up (saturated
        // above N bits, as the TIFF kinds' samples above N bits are at the axis's top).
        const std::uint32_t top = (1u << inputBits) - 1;
        const bool scaled = kind == kGrayscaleBitmap || kind == kFalseColorBitmap;
        for (std::uint32_t& v : plot.plotted) v = std::min(scaled ? v >> (16 - inputBits) : v, top);
        plot.axisTop = top;
    } else {
        plot.axisTop = std::max<std::uint32_t>(peak, 1);
    }
    return plot;
}

}  // namespace qf::present
