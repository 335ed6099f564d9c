#pragma once
// Reading a whole file from disk for the `hpi` commands that pack files.
#include <cstdint>
#include <string>
#include <vector>

namespace hpitool {

// Reads the whole regular file at path into data. Opened without blocking, so
// that a FIFO or a device is refused instead of waited on. False, with the
// reason in why, when it cannot be read whole.
bool ReadDiskFile(const std::string& path, std::vector<uint8_t>& data, std::string& why);

}  // namespace hpitool
