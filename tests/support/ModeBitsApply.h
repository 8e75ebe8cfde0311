#pragma once

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

// While it lives, the calling thread reads files as their mode bits allow, even as root: the
// capabilities that override them leave its effective set (they stay permitted, and come back).
class ModeBitsApply
{
public:
    ModeBitsApply() { setOverrides(false); }
    ~ModeBitsApply() { setOverrides(true); }
    ModeBitsApply(const ModeBitsApply &) = delete;
    ModeBitsApply &operator=(const ModeBitsApply &) = delete;

private:
    static void setOverrides(bool on)
    {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct data[2] = {};
        syscall(SYS_capget, &header, data);
        const __u32 overrides = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH);
        data[0].effective = on ? data[0].effective | (data[0].permitted & overrides) : data[0].effective & ~overrides;
        syscall(SYS_capset, &header, data);
    }
};
