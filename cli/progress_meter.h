// Rows done of a stage, with the rate and the time left worked out from
// the rows the host has reported so far. Pure arithmetic on times handed
// in, so it can be checked with worked values.
#ifndef VIREON_CLI_PROGRESS_METER_H
#define VIREON_CLI_PROGRESS_METER_H

#include <chrono>

namespace vireon::flash {

class ProgressMeter
{
public:
    using Clock = std::chrono::steady_clock;

    void start(int rowsTotal, Clock::time_point now);
    // One more row done. True when this row reaches a tenth of the total
    // (10 %, 20 %, ... 100 %) that no earlier row reached.
    bool addRow(Clock::time_point now);

    int rowsDone() const { return done_; }
    int rowsTotal() const { return total_; }
    int percent() const;        // whole percent, rounded down; 100 only when done
    double rate() const;        // rows per second since the start; 0 before the first row
    double secondsLeft() const; // rows left at that rate; -1 while unknown

private:
    Clock::time_point start_{};
    Clock::time_point last_{};
    int total_ = 0;
    int done_ = 0;
    int tenth_ = 0;
};

} // namespace vireon::flash

#endif
