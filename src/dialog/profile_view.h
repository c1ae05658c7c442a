// Items 1006 and 1007: one intensity profile through the brightest sample of the frame
// just written, against the whole 16-bit range, with its position named.
#pragma once

#include <QString>
#include <cstdint>
#include <vector>

#include "dialog/control_wrappers.h"

class QPainter;

namespace qf {

class ProfileView : public HostedItem {
    Q_OBJECT
public:
    enum class Direction { kHorizontal, kVertical };
    ProfileView(Direction direction, int id, QWidget* parent);

    /// Shows `values` (left to right, or top to bottom), taken through row or column
    /// `position`; `brightestAt` is the brightest sample's index in `values`.
    void ShowProfile(std::vector<std::uint16_t> values, int position, int brightestAt);
    const std::vector<std::uint16_t>& values() const { return values_; }
    int position() const { return position_; }
    /// "Row 12" or "Column 40" (empty before a frame).
    QString Caption() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void PaintAxis(QPainter& painter, const QRect& plot) const;

    Direction direction_;
    std::vector<std::uint16_t> values_;
    int position_ = -1;
    int brightestAt_ = -1;
};

}  // namespace qf
