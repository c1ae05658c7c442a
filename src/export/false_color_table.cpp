#include "export/false_color_table.h"

namespace qf {
namespace {

constexpr int kSegments = 20;
constexpr int kSegmentLength = 819;
constexpr int kRampEntries = kSegments * kSegmentLength;  // 16380

// Per segment: the change of red, green and blue over the segment.
constexpr int kChange[kSegments][3] = {
    {0, 0, 164},  {0, 170, 91}, {0, 65, 0},  {0, 20, 0},  {0, 0, -95},
    {0, 0, -160}, {170, 0, 0},  {53, 0, 0},  {32, 0, 0},  {0, -32, 0},
    {0, -32, 0},  {0, -63, 0},  {0, -32, 0}, {0, -96, 0}, {0, 0, 128},
    {0, 0, 80},   {0, 0, 47},   {0, 128, 0}, {0, 63, 0},  {0, 64, 0},
};

constexpr FalseColorEntry MakeEntry(const int rgb[3]) {
    return FalseColorEntry{static_cast<std::uint8_t>(rgb[1]), static_cast<std::uint8_t>(rgb[0]),
                           static_cast<std::uint8_t>(rgb[2])};
}

// C++ integer division truncates toward zero, which is what the ramp wants: a falling
// channel moves first where j x |change| reaches 819, like a rising one. Each segment
// starts on the last entry of the one before, one step short of start + change.
constexpr std::array<FalseColorEntry, kFalseColorEntries> BuildTable() {
    std::array<FalseColorEntry, kFalseColorEntries> table{};
    int start[3] = {0, 0, 0};
    for (int k = 0; k < kSegments; ++k) {
        int value[3] = {};
        for (int j = 0; j < kSegmentLength; ++j) {
            for (int c = 0; c < 3; ++c) value[c] = start[c] + (j * kChange[k][c]) / kSegmentLength;
            table[static_cast<std::size_t>(k) * kSegmentLength + static_cast<std::size_t>(j)] = MakeEntry(value);
        }
        for (int c = 0; c < 3; ++c) start[c] = value[c];
    }
    for (int i = kRampEntries; i < 16383; ++i) table[static_cast<std::size_t>(i)] = MakeEntry(start);
    const int white[3] = {255, 255, 255};
    table[16383] = MakeEntry(white);
    return table;
}

constexpr std::array<FalseColorEntry, kFalseColorEntries> kTable = BuildTable();

constexpr std::array<std::uint8_t, kFalseColorEntries * 3> BuildPixels() {
    std::array<std::uint8_t, kFalseColorEntries * 3> pixels{};
    for (std::size_t i = 0; i < kFalseColorEntries; ++i) {
        pixels[3 * i] = kTable[i].blue;
        pixels[3 * i + 1] = kTable[i].green;
        pixels[3 * i + 2] = kTable[i].red;
    }
    return pixels;
}

constexpr std::array<std::uint8_t, kFalseColorEntries * 3> kPixels = BuildPixels();

}  // namespace

const std::array<FalseColorEntry, kFalseColorEntries>& FalseColorTable() { return kTable; }

const std::array<std::uint8_t, kFalseColorEntries * 3>& FalseColorPixels() { return kPixels; }

}  // namespace qf
