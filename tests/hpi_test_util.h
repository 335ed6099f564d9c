#pragma once
// Helpers shared by the archive library's tests: a scratch directory, file
// I/O and reproducible test data.
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace hpitest {

class ScratchDir {
 public:
  ScratchDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "hpi-test-XXXXXX").string();
    path_ = ::mkdtemp(tmpl.data()) ? tmpl : std::string();
  }
  ~ScratchDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
}

// Definition-like text: repetitive enough for LZ77 and zlib to find matches.
inline std::vector<uint8_t> TextData(size_t n, uint32_t seed) {
  static const char* const words[] = {"[UNITINFO]", "{", "}", "UnitName=", "ARMCOM;", "Side=ARM;",
                                      "BuildCostEnergy=", "MaxDamage=", "Weapon1=", "\r\n\t", "0;", "1250;"};
  std::mt19937 rng(seed);
  std::vector<uint8_t> out;
  out.reserve(n);
  while (out.size() < n) {
    const char* w = words[rng() % std::size(words)];
    for (const char* c = w; *c && out.size() < n; ++c) out.push_back(uint8_t(*c));
  }
  return out;
}

inline std::vector<uint8_t> RandomData(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> out(n);
  for (uint8_t& b : out) b = uint8_t(rng());
  return out;
}

}  // namespace hpitest
