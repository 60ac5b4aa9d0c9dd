// A root test process without its power over file permissions, so that a
// node it may not open is refused as it would be to a user.
#ifndef VIREON_SIM_FILE_OVERRIDE_H
#define VIREON_SIM_FILE_OVERRIDE_H

namespace vireon::testbed {

// Drops CAP_DAC_OVERRIDE and CAP_DAC_READ_SEARCH from the calling thread's
// effective capabilities while it lives; threads it starts meanwhile inherit
// the loss, so a root process is refused a node it has no permission for.
class WithoutFileOverride {
public:
    WithoutFileOverride();
    ~WithoutFileOverride();
    WithoutFileOverride(const WithoutFileOverride &) = delete;
    WithoutFileOverride &operator=(const WithoutFileOverride &) = delete;

private:
    unsigned effective_ = 0; // the first word of the effective set before
};

} // namespace vireon::testbed

#endif
