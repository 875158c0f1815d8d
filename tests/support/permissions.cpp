#include "support/permissions.h"

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <initializer_list>

void dropReadOverride()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct caps[2]{};
    ::syscall(SYS_capget, &header, caps);
    for (const int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH})
        caps[cap / 32].effective &= ~(1u << (cap % 32));
    ::syscall(SYS_capset, &header, caps);
}
