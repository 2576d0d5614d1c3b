#include "platform/UiPlatform.h"

namespace zdl {

namespace {
    UiPlatform* installedPlatform = nullptr;
}

UiPlatform& GetUiPlatform()
{
    return installedPlatform ? *installedPlatform : SystemUiPlatform();
}

UiPlatform* SetUiPlatform(UiPlatform* platform)
{
    UiPlatform* previous = installedPlatform;
    installedPlatform = platform;
    return previous;
}

} // namespace zdl
