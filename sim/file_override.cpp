#include "file_override.h"

#include <cerrno>
#include <cstring>
#include <linux/capability.h>
#include <stdexcept>
#include <string>
#include <sys/syscall.h>
#include <unistd.h>

namespace vireon::testbed {

namespace {
constexpr unsigned kFileOverride = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH);

void capabilities(bool set, __user_cap_data_struct (&data)[2])
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    if (syscall(set ? SYS_capset : SYS_capget, &header, data) != 0)
        throw std::runtime_error(std::string("capabilities: ") + std::strerror(errno));
}
} // namespace

WithoutFileOverride::WithoutFileOverride()
{
    __user_cap_data_struct data[2]{};
    capabilities(false, data);
    effective_ = data[0].effective;
    data[0].effective &= ~kFileOverride;
    capabilities(true, data);
}

WithoutFileOverride::~WithoutFileOverride()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (syscall(SYS_capget, &header, data) == 0) {
        data[0].effective = effective_;
        syscall(SYS_capset, &header, data);
    }
}

} // namespace vireon::testbed
