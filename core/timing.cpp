#include "timing.h"

#include <atomic>

namespace vireon::core {
namespace {

std::atomic<long long> g_readLimitMs{kReadTimeout.count()};

} // namespace

std::chrono::milliseconds readLimit() { return std::chrono::milliseconds(g_readLimitMs.load()); }

void setReadLimit(std::chrono::milliseconds limit) { g_readLimitMs.store(limit.count()); }

} // namespace vireon::core
