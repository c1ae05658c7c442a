// Items 1006 and 1007: one intensity profile through the brightest sample of the frame
// just written, with its position named. What it plots, and the axis, come from the
// presentation layer (present/profile_plot.h); this only draws them.
#pragma once

#include <QString>
#include <cstdint>
#include <vector>

#include "dialog/control_wrappers.h"
#include "export/frame_image.h"
#include "present/profile_plot.h"

class QPainter;

namespace qf {

class ProfileView : public HostedItem {
    Q_OBJECT
public:
    enum class Direction { kHorizontal, kVertical };
    ProfileView(Direction direction, int id, QWidget* parent);

    /// Shows `values` (left to right, or top to bottom), taken through row or column
    /// `position`; `brightestAt` is the brightest sample's index in `values`.
    /// The values are the frame as pulled for `kind` with `inputBits` (see PullFrame).
    void ShowProfile(std::vector<std::uint16_t> values, int position, int brightestAt,
                     ExportKind kind = kStandardizedTiff, int inputBits = 16);
    /// The same, plotted already (as the run's watch plots its pictures).
    void ShowProfile(std::vector<std::uint16_t> values, present::ProfilePlot plot, int position, int brightestAt);
    const std::vector<std::uint16_t>& values() const { return values_; }
    /// What the plot draws: each value as the axis counts it.
    const std::vector<std::uint32_t>& plotted() const { return plotted_; }
    /// The value at the top of the axis (at least 1).
    std::uint32_t axisTop() const { return axisTop_; }
    int position() const { return position_; }
    /// "Row 12" or "Column 40" (empty before a frame).
    QString Caption() const;
    /// The title with its axis and a plot of eight lines.
    QSize sizeHint() const override;
    /// The longest title the profile can have, over its axis and a small plot.
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void PaintAxis(QPainter& painter, const QRect& plot) const;
    /// The line over the plot, naming the row or column at `position` (below 0: none yet).
    QString Title(int position) const;

    Direction direction_;
    std::vector<std::uint16_t> values_;
    std::vector<std::uint32_t> plotted_;
    std::uint32_t axisTop_ = 65535;
    int position_ = -1;
    int brightestAt_ = -1;
};

}  // namespace qf
