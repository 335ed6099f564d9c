#pragma once
// Archive helpers for the saving, edit page and extraction tests: build
// archives through the library, read them back whole, look at a file record,
// and write raw archives with names the library's writer would refuse.
#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "hpi/archive.h"
#include "hpi/hpi.h"

namespace testsupport {

inline std::string ReadBytes(const std::string& Path) {
  std::ifstream in(Path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& Path, const std::string& Bytes) {
  std::ofstream out(Path, std::ios::binary | std::ios::trunc);
  out.write(Bytes.data(), static_cast<std::streamsize>(Bytes.size()));
}

// Packs Files (path inside the archive -> bytes) through the library.
inline bool PackArchive(const std::string& Path, const std::map<std::string, std::string>& Files,
                        int Compression) {
  HPIHANDLE pack = HPICreate(Path.c_str(), nullptr);
  if (!pack) return false;
  for (const auto& [name, bytes] : Files)
    if (!HPIAddFileFromMemory(pack, name.c_str(), bytes.data(), static_cast<int32_t>(bytes.size())))
      return false;
  return HPIPackArchive(pack, Compression) != 0;
}

// Every file of the archive (full path -> bytes), read back through the
// library; nullopt when the archive or one of its files cannot be read.
inline std::optional<std::map<std::string, std::string>> UnpackArchive(const std::string& Path) {
  HPIHANDLE hpi = HPIOpen(Path.c_str());
  if (!hpi) return std::nullopt;
  std::map<std::string, std::string> files;
  std::vector<char> name(HPI_NAME_BUFFER);
  int32_t next = 0, type = 0, size = 0;
  bool ok = true;
  while ((next = HPIGetFiles(hpi, next, name.data(), &type, &size)) != 0) {
    if (type) continue;
    std::string bytes(static_cast<size_t>(size), '\0');
    HPIHANDLE f = HPIOpenFile(hpi, name.data());
    if (!f) { ok = false; break; }
    if (size > 0 && HPIGet(bytes.data(), f, 0, size) != size) ok = false;
    HPICloseFile(f);
    files[name.data()] = bytes;
  }
  HPIClose(hpi);
  if (!ok) return std::nullopt;
  return files;
}

// The file record of Path (its data offset and compression), read with the
// library's own reader.
inline std::optional<hpi::Entry> FindRecord(const std::string& ArchivePath, const std::string& Path) {
  auto archive = hpi::Archive::Open(ArchivePath);
  if (!archive) return std::nullopt;
  auto index = archive->Find(Path);
  if (!index || *index == hpi::Entry::kNone) return std::nullopt;
  return archive->at(*index);
}

// A raw archive entry: a stored (uncompressed) file or a directory.
struct RawNode {
  std::string Name;
  bool Directory = false;
  std::string Data;
  std::vector<RawNode> Children;
};

// Writes an unencrypted archive with stored files, names taken as given.
inline std::string RawArchive(const std::vector<RawNode>& Root) {
  std::string b(20, '\0');
  auto put32 = [&](size_t p, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[p + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  struct Pending { size_t Record; const std::string* Data; };
  std::vector<Pending> pending;
  auto addDir = [&](auto& self, const std::vector<RawNode>& Nodes) -> uint32_t {
    size_t node = b.size();
    b.resize(node + 8);
    size_t entries = b.size();
    b.resize(entries + 9 * Nodes.size());
    put32(node, static_cast<uint32_t>(Nodes.size()));
    put32(node + 4, static_cast<uint32_t>(entries));
    for (size_t i = 0; i < Nodes.size(); ++i) {
      size_t rec = entries + 9 * i;
      put32(rec, static_cast<uint32_t>(b.size()));
      b += Nodes[i].Name;
      b += '\0';
      b[rec + 8] = Nodes[i].Directory ? 1 : 0;
      if (Nodes[i].Directory) {
        put32(rec + 4, self(self, Nodes[i].Children));
      } else {
        size_t fr = b.size();
        b.resize(fr + 9);
        put32(rec + 4, static_cast<uint32_t>(fr));
        put32(fr + 4, static_cast<uint32_t>(Nodes[i].Data.size()));
        pending.push_back({fr, &Nodes[i].Data});
      }
    }
    return static_cast<uint32_t>(node);
  };
  addDir(addDir, Root);
  b.replace(0, 4, "HAPI");
  put32(4, 0x00010000);
  put32(8, static_cast<uint32_t>(b.size()));
  put32(12, 0);
  put32(16, 20);
  for (const Pending& p : pending) {
    put32(p.Record, static_cast<uint32_t>(b.size()));
    b += *p.Data;
  }
  return b;
}

}  // namespace testsupport
