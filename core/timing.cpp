#include "timing.h"

#include <atomic>

namespace vireon::core {
namespace {

std::atomic<long long> g_readLimitMs{kReadTimeout.count()};
std::atomic<long long> g_restartAllowanceMs{kRestartAllowance.count()};

} // namespace

std::chrono::milliseconds readLimit() { return std::chrono::milliseconds(g_readLimitMs.load()); }

void setReadLimit(std::chrono::milliseconds limit) { g_readLimitMs.store(limit.count()); }

std::chrono::milliseconds restartAllowance() { return std::chrono::milliseconds(g_restartAllowanceMs.load()); }

void setRestartAllowance(std::chrono::milliseconds allowance) { g_restartAllowanceMs.store(allowance.count()); }

} // namespace vireon::core
