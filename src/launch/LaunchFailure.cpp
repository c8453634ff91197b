#include "launch/LaunchFailure.h"

#include "core/Text.h"

ELaunchFailure::ELaunchFailure(TLaunchFault fault, const std::string& messageUtf8)
    : Exception(FromUtf8Lossy(messageUtf8)), Fault(fault)
{
}
