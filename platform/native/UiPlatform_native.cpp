// Natively there is no window system: the process-wide platform is a
// TestUiPlatform, so the toolkit runs headless and tests can steer it.
#include "platform/UiPlatform.h"

namespace zdl {

UiPlatform& SystemUiPlatform()
{
    static TestUiPlatform platform;
    return platform;
}

} // namespace zdl
