#include "platform/SystemInfo.h"

namespace zdl {

bool IsInstallDriveType(DriveType type)
{
    return type == DriveType::kFixed;
}

bool DriveExists(char letter)
{
    return IsInstallDriveType(QueryDriveType(letter));
}

} // namespace zdl
