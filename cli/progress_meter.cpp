#include "progress_meter.h"

namespace vireon::flash {

void ProgressMeter::start(int rowsTotal, Clock::time_point now)
{
    start_ = last_ = now;
    total_ = rowsTotal > 0 ? rowsTotal : 0;
    done_ = 0;
    tenth_ = 0;
}

bool ProgressMeter::addRow(Clock::time_point now)
{
    last_ = now;
    if (done_ < total_)
        ++done_;
    const int tenth = total_ > 0 ? done_ * 10 / total_ : 0;
    if (tenth <= tenth_)
        return false;
    tenth_ = tenth;
    return true;
}

int ProgressMeter::percent() const
{
    return total_ > 0 ? done_ * 100 / total_ : 0;
}

double ProgressMeter::rate() const
{
    const double seconds = std::chrono::duration<double>(last_ - start_).count();
    return done_ > 0 && seconds > 0 ? done_ / seconds : 0;
}

double ProgressMeter::secondsLeft() const
{
    const double perSecond = rate();
    return perSecond > 0 ? (total_ - done_) / perSecond : -1;
}

} // namespace vireon::flash
