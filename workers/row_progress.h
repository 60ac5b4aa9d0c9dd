// How far a stage's action has come, for a window that shows it: the rows
// the bootloader host has programmed and verified in the stage's running
// (or last) action. Written on the worker's thread, read from any thread.
#ifndef VIREON_WORKERS_ROW_PROGRESS_H
#define VIREON_WORKERS_ROW_PROGRESS_H

#include <cstdint>

namespace vireon::workers {

// Rows done in stage 1's or 2's action; 0 from the stage's requestWork on.
int rowsProgrammed(int stage);
void resetRows(int stage);

// The host's row callback carries no context: a run binds its stage to its
// own thread for the length of its action, and countRow counts for it.
class RowCounting
{
public:
    explicit RowCounting(int stage);
    ~RowCounting();
    RowCounting(const RowCounting &) = delete;
    RowCounting &operator=(const RowCounting &) = delete;
};

// The CyBtldr_ProgressUpdate of the workers' actions.
void countRow(uint8_t arrayId, uint16_t rowNumber);

} // namespace vireon::workers

#endif
