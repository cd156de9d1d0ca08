#include "serial/port_device.h"

namespace ardel {

bool IsDevicePath(const std::string& name) { return name.rfind("\\\\.\\", 0) == 0 || name.rfind("\\\\?\\", 0) == 0; }

std::string DefaultPortDevice(unsigned number) { return "COM" + std::to_string(number); }

}  // namespace ardel
