// Item 1003: a light that says how the last run stands: idle, running, finished clean,
// finished with failures, stopped. Its tooltip and accessible description say it in words.
#pragma once

#include "dialog/control_wrappers.h"

namespace qf {

class StatusLight : public HostedItem {
    Q_OBJECT
public:
    enum class State { kIdle, kRunning, kClean, kFailures, kStopped };
    StatusLight(int id, QWidget* parent);

    void SetState(State state);
    State state() const { return state_; }
    /// The state in words.
    QString Words() const;
    /// The light's colour for the state.
    static QColor Colour(State state);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    State state_ = State::kIdle;
};

}  // namespace qf
