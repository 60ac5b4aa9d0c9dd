#include "row_progress.h"

#include <atomic>

namespace vireon::workers {

namespace {
std::atomic<int> g_rows[2];
thread_local int t_stage = 0; // the stage this thread's action counts for; 0: none

std::atomic<int> *rowsOf(int stage) { return stage == 1 || stage == 2 ? &g_rows[stage - 1] : nullptr; }
} // namespace

int rowsProgrammed(int stage)
{
    const std::atomic<int> *rows = rowsOf(stage);
    return rows ? rows->load() : 0;
}

void resetRows(int stage)
{
    if (std::atomic<int> *rows = rowsOf(stage))
        *rows = 0;
}

RowCounting::RowCounting(int stage)
{
    t_stage = stage;
    resetRows(stage);
}

RowCounting::~RowCounting() { t_stage = 0; }

void countRow(uint8_t /*arrayId*/, uint16_t /*rowNumber*/)
{
    if (std::atomic<int> *rows = rowsOf(t_stage))
        ++*rows;
}

} // namespace vireon::workers
