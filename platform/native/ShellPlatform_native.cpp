// Natively there is no shell: the process-wide implementation only records
// what it is asked to do, so the application runs headless.
#include "platform/ShellPlatform.h"

namespace zdl {

ShellPlatform& SystemShellPlatform()
{
    static RecordingShellPlatform platform;
    return platform;
}

} // namespace zdl
