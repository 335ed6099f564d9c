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

namespace hpitest {

// Builds archive bytes by hand, independently of the library's writer, so
// that reader and writer cannot share a misreading of the format.
class RawArchive {
 public:
  size_t size() const { return bytes_.size(); }
  size_t U32(uint32_t v) {
    const size_t at = bytes_.size();
    for (int i = 0; i < 4; ++i) bytes_.push_back(uint8_t(v >> (8 * i)));
    return at;
  }
  size_t U8(uint8_t v) {
    bytes_.push_back(v);
    return bytes_.size() - 1;
  }
  size_t Bytes(const std::vector<uint8_t>& v) {
    const size_t at = bytes_.size();
    bytes_.insert(bytes_.end(), v.begin(), v.end());
    return at;
  }
  size_t Name(const std::string& s) {
    const size_t at = bytes_.size();
    bytes_.insert(bytes_.end(), s.begin(), s.end());
    bytes_.push_back(0);
    return at;
  }
  void Patch32(size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes_[at + size_t(i)] = uint8_t(v >> (8 * i));
  }
  // Encrypts everything after the header with the key byte from headerKey.
  std::vector<uint8_t> Finish(int32_t headerKey) const {
    std::vector<uint8_t> out = bytes_;
    if (headerKey == 0) return out;
    const unsigned h = unsigned(headerKey) & 0xFF;
    const uint8_t k = uint8_t(~((h << 2) | (h >> 6)));
    for (size_t p = 20; p < out.size(); ++p) out[p] = uint8_t(~(out[p] ^ uint8_t((p ^ k) & 0xFF)));
    return out;
  }

 private:
  std::vector<uint8_t> bytes_;
};

}  // namespace hpitest
