#include "platform/FaultReport.h"

void ReportUnhandledFaults(TFaultReport /*onFault*/, std::uint32_t /*exitStatus*/) {}
