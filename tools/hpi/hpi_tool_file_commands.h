#pragma once
// The `hpi` commands that work on single files of an archive: print one,
// check them all, add or replace one. Each returns the process exit code.
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "hpi/archive.h"
#include "hpi/format.h"

namespace hpitool {

// The entry at Path (levels joined by '\' or '/'): the one whose path is
// spelled exactly so when there is one, else one equal ignoring ASCII case.
std::optional<uint32_t> FindPreferringExact(const hpi::Archive& Archive, std::string_view Path);

int Cat(const std::string& archive, const std::string& path, std::ostream& out, std::ostream& err);
int Verify(const std::string& archive, std::ostream& out, std::ostream& err);
// Without a method, every other file keeps its stored bytes and the new one is
// packed as most of the archive's files are.
int Add(const std::string& archive, const std::string& path, const std::string& file,
        std::optional<hpi::Method> method, std::ostream& err);

}  // namespace hpitool
