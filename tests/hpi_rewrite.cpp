// The locked rewrite: unchanged files keep their stored chunks, damage stops
// it, links are written through, and a killed writer leaves nothing behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "hpi/archive.h"
#include "hpi/atomic_file.h"
#include "hpi/rewrite.h"
#include "hpi/writer.h"
#include "hpi_test_util.h"
#include "hpi_tool_run.h"

namespace {

using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

// An independent reading of the format from its description: each file's
// compression, its bytes, and its chunks as stored (decrypted).
struct ModelFile {
  uint8_t compression = 0;
  Bytes data;
  std::vector<Bytes> chunks;
  bool operator==(const ModelFile&) const = default;
};

Bytes Lz77Decode(const Bytes& in) {
  Bytes out, ring(4096);
  size_t w = 1, p = 0;
  while (p < in.size()) {
    const uint8_t tag = in[p++];
    for (int bit = 0; bit < 8 && p < in.size(); ++bit) {
      if (!(tag >> bit & 1)) {
        out.push_back(ring[w] = in[p++]);
        w = (w + 1) & 0xFFF;
        continue;
      }
      const unsigned v = in[p] | in[p + 1] << 8;
      p += 2;
      if ((v >> 4) == 0) return out;
      for (unsigned src = v >> 4, n = (v & 0xF) + 2; n > 0; --n, src = (src + 1) & 0xFFF) {
        out.push_back(ring[w] = ring[src]);
        w = (w + 1) & 0xFFF;
      }
    }
  }
  return out;
}

std::map<std::string, ModelFile> ModelRead(const std::string& path, uint8_t* keyByte = nullptr) {
  Bytes a = hpitest::ReadBytes(path);
  auto u32 = [&](size_t p) { return uint32_t(a[p]) | uint32_t(a[p + 1]) << 8 | uint32_t(a[p + 2]) << 16 | uint32_t(a[p + 3]) << 24; };
  const uint32_t h = u32(12) & 0xFF;
  const uint8_t k = uint8_t(~((h << 2) | (h >> 6)));
  if (keyByte) *keyByte = u32(12) ? k : 0;
  if (u32(12))
    for (size_t p = 20; p < a.size(); ++p) a[p] = uint8_t(~(a[p] ^ uint8_t((p ^ k) & 0xFF)));
  std::map<std::string, ModelFile> files;
  auto walk = [&](auto& self, uint32_t node, const std::string& prefix) -> void {
    for (uint32_t i = 0; i < u32(node); ++i) {
      const size_t rec = u32(node + 4) + 9 * i;
      const std::string name(reinterpret_cast<const char*>(&a[u32(rec)]));
      const std::string path = prefix.empty() ? name : prefix + "\\" + name;
      const uint32_t at = u32(rec + 4);
      if (a[rec + 8]) {
        self(self, at, path);
        continue;
      }
      ModelFile& f = files[path];
      const uint32_t offset = u32(at), size = u32(at + 4);
      f.compression = a[at + 8];
      if (f.compression == 0) {
        f.data.assign(a.begin() + offset, a.begin() + offset + size);
        continue;
      }
      size_t pos = offset + 4 * ((size + 65535) / 65536);
      for (uint32_t c = 0; c < (size + 65535) / 65536; ++c) {
        const uint32_t len = u32(offset + 4 * c);
        f.chunks.emplace_back(a.begin() + pos, a.begin() + pos + len);
        Bytes d(a.begin() + pos + 19, a.begin() + pos + len);
        if (a[pos + 6])
          for (size_t j = 0; j < d.size(); ++j) d[j] = uint8_t((d[j] - j) ^ j);
        Bytes out(u32(pos + 11));
        uLongf got = out.size();
        if (a[pos + 5] == 2) {
          EXPECT_EQ(uncompress(out.data(), &got, d.data(), d.size()), Z_OK) << path;
        }
        if (a[pos + 5] == 1) out = Lz77Decode(d);
        if (a[pos + 5] == 0) out = d;
        f.data.insert(f.data.end(), out.begin(), out.end());
        pos += len;
      }
    }
  };
  walk(walk, 20, "");
  return files;
}

std::map<std::string, Bytes> DataOf(const std::map<std::string, ModelFile>& files) {
  std::map<std::string, Bytes> data;
  for (const auto& [path, f] : files) data[path] = f.data;
  return data;
}

// Every file through the project's reader.
std::map<std::string, Bytes> LibraryRead(const std::string& path) {
  std::map<std::string, Bytes> data;
  std::unique_ptr<hpi::Archive> a = hpi::Archive::Open(path);
  EXPECT_TRUE(a) << path;
  for (size_t i = 0; a && i < a->size(); ++i)
    if (!a->at(i).isDirectory) {
      EXPECT_TRUE(a->ReadFile(uint32_t(i), data[a->PathOf(i)])) << a->PathOf(i);
    }
  return data;
}

std::map<std::string, Bytes> SampleFiles() {
  return {{"units\\EMPTY.FBI", {}},
          {"units\\EXACT.BIN", hpitest::TextData(65536, 1)},
          {"units\\OVER.BIN", hpitest::TextData(65537, 2)},
          {"gamedata\\NOISE.BIN", hpitest::RandomData(70000, 3)},
          {"readme.txt", hpitest::TextData(300, 4)}};
}

void Build(const std::string& path, const std::map<std::string, Bytes>& files, hpi::Method method, int32_t key) {
  hpi::Writer w;
  for (const auto& [p, d] : files) ASSERT_TRUE(w.AddFile(p, d.data(), d.size()));
  hpi::Writer::Options o;
  o.method = method;
  o.headerKey = key;
  o.zlibLevel = 1;  // the rewrite packs at another level: copied chunks stay as they were
  ASSERT_TRUE(w.Pack(path, o));
}

hpi::RewriteStatus Put(const std::string& archive, const std::string& path, const Bytes& data,
                       std::optional<hpi::Method> method, std::string* error = nullptr) {
  hpi::RewriteOptions o;
  o.method = method;
  return hpi::Rewrite(
      archive,
      [&](const hpi::Archive&, hpi::Changes& c, std::string*) {
        c.Put(path, data);
        return true;
      },
      o, error);
}

std::vector<std::string> Names(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(HpiRewrite, UnchangedFilesKeepTheirChunksForEveryMethodAndKey) {
  for (int32_t key : {0, 0x7D})
    for (hpi::Method method : {hpi::Method::Stored, hpi::Method::Lz77, hpi::Method::Zlib}) {
      SCOPED_TRACE("key " + std::to_string(key) + ", method " + std::to_string(int(method)));
      hpitest::ScratchDir dir;
      const std::string path = dir / "mod.hpi";
      std::map<std::string, Bytes> files = SampleFiles();
      Build(path, files, method, key);
      const std::map<std::string, ModelFile> before = ModelRead(path);
      ASSERT_EQ(DataOf(before), files);

      // A changed file (named in other letter case) and a new one.
      files["readme.txt"] = hpitest::TextData(500, 5);
      files["units\\NEW.FBI"] = hpitest::TextData(100000, 6);
      ASSERT_EQ(Put(path, "README.TXT", files["readme.txt"], method), hpi::RewriteStatus::Done);
      ASSERT_EQ(Put(path, "units/NEW.FBI", files["units\\NEW.FBI"], method), hpi::RewriteStatus::Done);
      uint8_t keyByte = 0;
      const std::map<std::string, ModelFile> after = ModelRead(path, &keyByte);
      EXPECT_EQ(DataOf(after), files);
      EXPECT_EQ(LibraryRead(path), files);
      EXPECT_EQ(keyByte, key ? hpi::KeyByte(key) : 0);
      for (const auto& [p, f] : after) {
        EXPECT_EQ(f.compression, uint8_t(method)) << p;
        if (p != "readme.txt" && p != "units\\NEW.FBI") {
          EXPECT_EQ(f.chunks, before.at(p).chunks) << p;
        }
      }

      // Into another compression: every file is packed anew, nothing lost.
      const hpi::Method other = hpi::Method((int(method) + 1) % 3);
      ASSERT_EQ(Put(path, "units\\EMPTY.FBI", {}, other), hpi::RewriteStatus::Done);
      const std::map<std::string, ModelFile> converted = ModelRead(path);
      EXPECT_EQ(DataOf(converted), files);
      for (const auto& [p, f] : converted) EXPECT_EQ(f.compression, uint8_t(other)) << p;
    }
}

TEST(HpiRewrite, WithoutAMethodFilesStayAsStoredAndNewOnesFollowTheMajority) {
  hpitest::ScratchDir dir;
  std::map<std::string, Bytes> zlibFiles = {{"a.txt", hpitest::TextData(70000, 1)}, {"b.txt", hpitest::TextData(10, 2)}};
  std::map<std::string, Bytes> lzFiles = {{"c.txt", hpitest::TextData(5000, 3)}};
  Build(dir / "z.hpi", zlibFiles, hpi::Method::Zlib, 0);
  Build(dir / "l.hpi", lzFiles, hpi::Method::Lz77, 0);
  {
    // A mixed archive: two zlib files and one LZ77 file, kept as stored.
    auto z = hpi::Archive::Open(dir / "z.hpi"), l = hpi::Archive::Open(dir / "l.hpi");
    hpi::Writer w;
    for (uint32_t i : {*z->Find("a.txt"), *z->Find("b.txt")}) ASSERT_TRUE(w.AddArchivedFile(z->PathOf(i), *z, i));
    ASSERT_TRUE(w.AddArchivedFile("c.txt", *l, *l->Find("c.txt")));
    hpi::Writer::Options o;
    o.keepStored = true;
    ASSERT_TRUE(w.Pack(dir / "mixed.hpi", o));
  }
  const std::map<std::string, ModelFile> before = ModelRead(dir / "mixed.hpi");
  ASSERT_EQ(Put(dir / "mixed.hpi", "d.txt", hpitest::TextData(2000, 4), std::nullopt), hpi::RewriteStatus::Done);
  const std::map<std::string, ModelFile> after = ModelRead(dir / "mixed.hpi");
  ASSERT_EQ(after.size(), 4u);
  for (const std::string p : {"a.txt", "b.txt", "c.txt"}) EXPECT_EQ(after.at(p), before.at(p)) << p;
  EXPECT_EQ(after.at("c.txt").compression, 1);
  EXPECT_EQ(after.at("d.txt").compression, 2);
  EXPECT_EQ(after.at("d.txt").data, hpitest::TextData(2000, 4));
}

TEST(HpiRewrite, ADamagedUntouchedFileLeavesTheArchiveAsItWas) {
  hpitest::ScratchDir dir;
  const std::string path = dir / "mod.hpi";
  Build(path, SampleFiles(), hpi::Method::Zlib, 0x7D);
  Bytes bytes = hpitest::ReadBytes(path);
  {
    auto a = hpi::Archive::Open(path);
    const size_t inFirstChunk = a->at(*a->Find("units\\OVER.BIN")).dataOffset + 8 + 19 + 10;
    ASSERT_LT(inFirstChunk, bytes.size());
    bytes[inFirstChunk] ^= 0x10;
  }
  hpitest::WriteBytes(path, bytes);
  std::string error;
  EXPECT_EQ(Put(path, "units\\NEW.FBI", {1, 2, 3}, hpi::Method::Zlib, &error), hpi::RewriteStatus::Damaged);
  EXPECT_NE(error.find("units\\OVER.BIN"), std::string::npos) << error;
  EXPECT_EQ(hpitest::ReadBytes(path), bytes);
  EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"mod.hpi"});
  // Packed anew into another compression, the damage stops it just the same.
  EXPECT_EQ(Put(path, "units\\NEW.FBI", {1, 2, 3}, hpi::Method::Lz77), hpi::RewriteStatus::Damaged);
  EXPECT_EQ(hpitest::ReadBytes(path), bytes);
}

// Many small files share a packing batch with large ones between them: every
// file lands whole in its place, the same on one thread as on two.
TEST(HpiRewrite, ManySmallFilesAmongLargeOnesPackInOrder) {
  hpitest::ScratchDir dir;
  std::map<std::string, Bytes> files;
  for (uint32_t i = 0; i < 700; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "units\\U%03u.FBI", i);
    files[name] = hpitest::TextData(1 + (i * 37) % 3000, i);
  }
  files["units\\U350.BIG"] = hpitest::RandomData(200000, 1);  // four chunks among the small files
  files["units\\U600.BIG"] = hpitest::TextData(140000, 2);
  std::vector<Bytes> packed;
  for (unsigned threads : {1u, 2u}) {
    hpi::Writer w;
    for (const auto& [p, d] : files) ASSERT_TRUE(w.AddFile(p, d.data(), d.size()));
    hpi::Writer::Options o;
    o.method = hpi::Method::Lz77;
    o.threads = threads;
    const std::string path = dir / ("t" + std::to_string(threads) + ".hpi");
    ASSERT_TRUE(w.Pack(path, o));
    packed.push_back(hpitest::ReadBytes(path));
  }
  EXPECT_TRUE(packed[0] == packed[1]);

  // Half the small files replaced in one rewrite: kept and packed files alternate.
  const std::string path = dir / "t2.hpi";
  ASSERT_EQ(hpi::Rewrite(
                path,
                [&](const hpi::Archive&, hpi::Changes& c, std::string*) {
                  for (auto& [p, d] : files)
                    if (p.back() == 'I' && (p[7] + p[8]) % 2 == 0) {
                      d.push_back('!');
                      c.Put(p, d);
                    }
                  return true;
                },
                hpi::RewriteOptions()),
            hpi::RewriteStatus::Done);
  const auto a = hpi::Archive::Open(path);
  ASSERT_TRUE(a);
  for (const auto& [p, d] : files) {
    const std::optional<uint32_t> index = a->Find(p);
    Bytes now;
    ASSERT_TRUE(index && a->ReadFile(*index, now)) << p;
    EXPECT_TRUE(now == d) << p;
  }
}

TEST(HpiRewrite, ALinkIsWrittenThroughAndStays) {
  hpitest::ScratchDir dir;
  fs::create_directory(dir / "real");
  const std::string real = dir / "real/mod.hpi";
  Build(real, SampleFiles(), hpi::Method::Lz77, 0);
  fs::create_symlink("real/mod.hpi", dir / "link.hpi");
  ASSERT_EQ(Put(dir / "link.hpi", "x.txt", {7}, std::nullopt), hpi::RewriteStatus::Done);
  EXPECT_TRUE(fs::is_symlink(dir / "link.hpi"));
  EXPECT_EQ(fs::read_symlink(dir / "link.hpi"), "real/mod.hpi");
  EXPECT_EQ(ModelRead(real).at("x.txt").data, Bytes{7});
}

TEST(HpiRewrite, AKilledWriterLeavesNoLockAndItsLeftoversGo) {
  hpitest::ScratchDir dir;
  const std::string path = dir / "mod.hpi";
  Build(path, SampleFiles(), hpi::Method::Lz77, 0);
  const pid_t child = ::fork();
  if (child == 0) {
    // Holds the lock and leaves a named temporary file as a writer killed
    // between naming its file and the rename would.
    hpi::AtomicFile file;
    if (!file.Open(path)) ::_exit(1);
    hpitest::WriteBytes(path + ".tmp0123abcd", {1, 2, 3});
    ::kill(::getpid(), SIGKILL);
    ::_exit(2);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status));
  hpitest::WriteBytes(path + ".tmpnot-ours", {4});  // not a name the writer makes: left alone
  ASSERT_EQ(Put(path, "x.txt", {7}, std::nullopt), hpi::RewriteStatus::Done);
  EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{"mod.hpi", "mod.hpi.tmpnot-ours"}));
}

TEST(HpiRewrite, NewNamesThatExtractionWouldSkipAreRefused) {
  hpitest::ScratchDir dir;
  const std::string path = dir / "mod.hpi";
  Build(path, SampleFiles(), hpi::Method::Lz77, 0);
  const Bytes before = hpitest::ReadBytes(path);
  for (const std::string name : {"C:\\x", "\\abs", "a\\..\\..\\b", "a\x1b[31m", "a\nb", "./a"}) {
    std::string error;
    EXPECT_EQ(Put(path, name, {1}, std::nullopt, &error), hpi::RewriteStatus::Refused) << name;
    EXPECT_NE(error.find(name), std::string::npos) << error;
  }
  EXPECT_EQ(hpitest::ReadBytes(path), before);
  EXPECT_TRUE(hpi::RefusedName("units\\ok.fbi").empty());
}

// Names that differ only in letter case are one path, up to both ends of the
// alphabet: such an archive is not rewritten, or one entry would be lost.
// The bytes beside the letters ('@', '[', '`', '{') are no letters.
TEST(HpiRewrite, CaseTwinsAtTheEndsOfTheAlphabetAreOnePath) {
  hpitest::ScratchDir dir;
  struct Case {
    std::string First, Second;
    bool Twins;
  };
  for (const Case& c : {Case{"a.fbi", "A.fbi", true}, Case{"z.FBI", "Z.FBI", true}, Case{"unit-Z", "UNIT-z", true},
                        Case{"@.fbi", "`.fbi", false}, Case{"[.fbi", "{.fbi", false}}) {
    SCOPED_TRACE(c.First + " " + c.Second);
    const std::string path = dir / "twins.hpi";
    hpitest::WriteBytes(path, hpitest::StoredRootArchive({{c.First, "first"}, {c.Second, "second"}}));
    const Bytes before = hpitest::ReadBytes(path);
    std::string error;
    const hpi::RewriteStatus status = Put(path, "new.txt", {1}, std::nullopt, &error);
    if (c.Twins) {
      EXPECT_EQ(status, hpi::RewriteStatus::NotRewritable);
      EXPECT_EQ(hpitest::ReadBytes(path), before);
      continue;
    }
    ASSERT_EQ(status, hpi::RewriteStatus::Done) << error;
    const auto a = hpi::Archive::Open(path);
    ASSERT_TRUE(a);
    EXPECT_TRUE(a->Find(c.First) && a->Find(c.Second) && *a->Find(c.First) != *a->Find(c.Second));
  }
}

}  // namespace
