// The format's building blocks: key, cipher, scrambling, the LZ77 codec, and
// a hand-built archive read through the library operations.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "hpi/chunk.h"
#include "hpi/crypt.h"
#include "hpi/hpi.h"
#include "hpi/lz77.h"
#include "hpi_test_util.h"

namespace {

using Bytes = std::vector<uint8_t>;

TEST(HpiCrypt, KeyCipherAndScrambling) {
  EXPECT_EQ(hpi::KeyByte(0x7D), 0x0A);
  // Only the lowest byte of the header key counts.
  EXPECT_EQ(hpi::KeyByte(0x1237D), 0x0A);
  EXPECT_EQ(hpi::KeyByte(0x100), 0xFF);

  // plain = T xor (not stored), T = (position xor key).
  const hpi::Cipher c(0x7D);
  uint8_t b[3] = {0x00, 0xFF, 0x5A};
  c.Apply(b, 3, 300);
  const uint8_t t0 = uint8_t((300 ^ 0x0A) & 0xFF);
  EXPECT_EQ(b[0], uint8_t(~(0x00 ^ t0)));
  c.Apply(b, 3, 300);
  EXPECT_EQ(b[0], 0x00);
  EXPECT_EQ(b[1], 0xFF);
  EXPECT_EQ(b[2], 0x5A);

  Bytes plain = hpitest::RandomData(1000, 9), data = plain;
  hpi::Scramble(data.data(), data.size());
  EXPECT_NE(data, plain);
  EXPECT_EQ(data[3], uint8_t((plain[3] ^ 3) + 3));
  hpi::Unscramble(data.data(), data.size());
  EXPECT_EQ(data, plain);
}

TEST(HpiLz77, DecodesTheExampleStreamAndRejectsBrokenOnes) {
  const Bytes stream = {0x0C, 0x41, 0x42, 0x14, 0x00, 0x00, 0x00};
  uint8_t out[8];
  ASSERT_TRUE(hpi::lz77::Decode(stream.data(), stream.size(), out, 8));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 8), "ABABABAB");
  // Expecting a different size than the stream yields is an error.
  uint8_t more[9], fewer[7];
  EXPECT_FALSE(hpi::lz77::Decode(stream.data(), stream.size(), more, 9));
  EXPECT_FALSE(hpi::lz77::Decode(stream.data(), stream.size(), fewer, 7));
  // A reference cut off by the end of the input.
  EXPECT_FALSE(hpi::lz77::Decode(stream.data(), 4, out, 8));
}

// The format's decoder written out step by step, ring and all, to check the
// library's decoder against. It yields what the stream yields up to its end
// mark or the end of its input.
Bytes RingDecode(const Bytes& in) {
  uint8_t ring[4096] = {};
  size_t w = 1, ip = 0;
  Bytes out;
  for (;;) {
    if (ip >= in.size()) return out;
    const unsigned tag = in[ip++];
    for (unsigned bit = 0; bit < 8; ++bit) {
      if (tag & (1u << bit)) {
        if (in.size() - ip < 2) return out;
        const unsigned v = in[ip] | in[ip + 1] << 8;
        ip += 2;
        size_t src = v >> 4;
        if (src == 0) return out;
        for (unsigned k = 0; k < (v & 0xF) + 2; ++k) {
          const uint8_t b = ring[src];
          out.push_back(b);
          ring[w] = b;
          src = (src + 1) & 0xFFF;
          w = (w + 1) & 0xFFF;
        }
      } else {
        if (ip >= in.size()) return out;
        out.push_back(in[ip]);
        ring[w] = in[ip++];
        w = (w + 1) & 0xFFF;
      }
    }
  }
}

// Streams as any packer might write them: references to every ring place,
// near and far, to places this chunk has not written yet (zeros), to the
// place being written, overlapping runs of every distance, stretches of
// literals, and streams cut off anywhere or ending without the mark. Each
// decodes to what the ring gives, and fails for any other size.
TEST(HpiLz77, DecodesEveryKindOfStreamAsTheRingDoes) {
  std::mt19937 rng(77);
  for (int round = 0; round < 300; ++round) {
    std::vector<std::pair<bool, unsigned>> items;  // reference?, literal byte or reference word
    const size_t count = round % 4 == 0 ? rng() % 40 : 200 + rng() % 8000;
    const unsigned literalShare = rng() % 10;  // in tenths
    size_t written = 0;
    for (size_t i = 0; i < count; ++i) {
      if (rng() % 10 < literalShare) {
        items.emplace_back(false, rng() % 4 == 0 ? rng() % 256 : 'a' + rng() % 3);
        ++written;
        continue;
      }
      const size_t w = (written + 1) & 0xFFF;
      size_t src = w;  // the place being written: the byte 4,096 back
      switch (rng() % 4) {
        case 0: src = rng() % 4096; break;
        case 1: src = (w - 1 - rng() % 8) & 0xFFF; break;
        case 2: src = (w - 8 - rng() % 120) & 0xFFF; break;
      }
      if (src == 0) src = 1;  // not the end mark
      const unsigned length = rng() % 16;
      items.emplace_back(true, unsigned(src << 4) | length);
      written += length + 2;
    }
    if (rng() % 3) items.emplace_back(true, 0);  // the end mark
    Bytes stream;
    for (size_t i = 0; i < items.size(); ++i) {
      if (i % 8 == 0) stream.push_back(0);
      const size_t tag = stream.size() - 1 - [&] {
        size_t bytes = 0;
        for (size_t k = i - i % 8; k < i; ++k) bytes += items[k].first ? 2 : 1;
        return bytes;
      }();
      if (items[i].first) {
        stream[tag] |= uint8_t(1u << (i % 8));
        stream.push_back(uint8_t(items[i].second));
        stream.push_back(uint8_t(items[i].second >> 8));
      } else {
        stream.push_back(uint8_t(items[i].second));
      }
    }
    if (round % 5 == 1 && !stream.empty()) stream.resize(rng() % stream.size());
    const Bytes expected = RingDecode(stream);
    Bytes out(expected.size());
    ASSERT_TRUE(hpi::lz77::Decode(stream.data(), stream.size(), out.data(), out.size())) << "round " << round;
    ASSERT_EQ(out, expected) << "round " << round;
    out.assign(expected.size() + 200, 0);
    EXPECT_FALSE(hpi::lz77::Decode(stream.data(), stream.size(), out.data(), expected.size() + 1 + round % 150))
        << "round " << round;
    if (!expected.empty()) {
      const size_t fewer = expected.size() - 1 - round % std::min<size_t>(expected.size(), 150);
      EXPECT_FALSE(hpi::lz77::Decode(stream.data(), stream.size(), out.data(), fewer)) << "round " << round;
    }
  }
}

TEST(HpiLz77, EncoderRoundTripsAndFindsMatches) {
  hpi::lz77::Encoder enc;
  std::vector<Bytes> inputs = {{}, {7}, {1, 2}, Bytes(65536, 'x'), hpitest::TextData(65536, 1),
                               hpitest::RandomData(65536, 2), hpitest::TextData(5000, 3)};
  // Text with a long period puts matches just at the 4,095-byte window edge.
  Bytes edge = hpitest::RandomData(4095, 4);
  for (int i = 0; i < 4; ++i) edge.insert(edge.end(), edge.begin(), edge.begin() + 4095);
  inputs.push_back(edge);
  Bytes encoded, decoded;
  for (const Bytes& in : inputs) {
    enc.Encode(in.data(), in.size(), encoded);
    EXPECT_LE(encoded.size(), hpi::lz77::MaxEncodedSize(in.size()));
    decoded.assign(in.size(), 0);
    ASSERT_TRUE(hpi::lz77::Decode(encoded.data(), encoded.size(), decoded.data(), decoded.size()))
        << "input of " << in.size() << " bytes";
    EXPECT_EQ(decoded, in);
    // Every stream ends with the end mark.
    ASSERT_GE(encoded.size(), 3u);
    EXPECT_EQ(encoded[encoded.size() - 1], 0);
    EXPECT_EQ(encoded[encoded.size() - 2], 0);
  }
  // Literals only would take 9/8 of the input; real matches take far less.
  const Bytes text = hpitest::TextData(65536, 5);
  enc.Encode(text.data(), text.size(), encoded);
  EXPECT_LT(encoded.size(), text.size() / 2);
  enc.Encode(edge.data(), edge.size(), encoded);
  EXPECT_LT(encoded.size(), edge.size() / 2);
}

// The encoder's bytes stay those of the archives it wrote before (an archive
// saved again without changes keeps its bytes), whatever it encoded last.
TEST(HpiLz77, EncoderGivesTheSameBytesWhateverItEncodedBefore) {
  auto fnv = [](const Bytes& b) {
    uint64_t h = 1469598103934665603ull;
    for (uint8_t c : b) h = (h ^ c) * 1099511628211ull;
    return h;
  };
  const std::string unit = "[UNITINFO]\r\n{\r\n\tName=ARM;\r\n\tName=ARM;\r\n\tUnitName=ARMCOM;\r\n}\r\n";
  const Bytes expected = {0x00, 0x5B, 0x55, 0x4E, 0x49, 0x54, 0x49, 0x4E, 0x46, 0x00, 0x4F, 0x5D, 0x0D, 0x0A, 0x7B, 0x0D,
                          0x0A, 0x09, 0x00, 0x4E, 0x61, 0x6D, 0x65, 0x3D, 0x41, 0x52, 0x4D, 0x42, 0x3B, 0xED, 0x00, 0x55,
                          0x6E, 0x69, 0x74, 0xD6, 0x01, 0x43, 0x22, 0x4F, 0x42, 0x02, 0x7D, 0x0D, 0x0A, 0x00, 0x00};
  const Bytes text = hpitest::TextData(65536, 1), noise = hpitest::RandomData(65536, 2);
  hpi::lz77::Encoder reused;
  Bytes out;
  for (int round = 0; round < 2; ++round) {
    // The same text in the tables from the round before must not be taken
    // for this chunk's.
    reused.Encode(reinterpret_cast<const uint8_t*>(unit.data()), unit.size(), out);
    EXPECT_EQ(out, expected);
    reused.Encode(text.data(), text.size(), out);
    EXPECT_EQ(out.size(), 11443u);
    EXPECT_EQ(fnv(out), 0x3cbe66f28ae84757ull);
    reused.Encode(noise.data(), noise.size(), out);
    EXPECT_EQ(out.size(), 73711u);
    EXPECT_EQ(fnv(out), 0x6c73afb1dda22ddeull);
  }
}

TEST(HpiChunk, EncodedChunksDecodeAndAreChecked) {
  hpi::ChunkEncoder enc;
  const Bytes text = hpitest::TextData(65536, 6), noise = hpitest::RandomData(1000, 7);
  for (hpi::Method m : {hpi::Method::Lz77, hpi::Method::Zlib}) {
    for (const Bytes* in : {&text, &noise}) {
      Bytes chunk;
      ASSERT_TRUE(enc.Encode(m, in->data(), in->size(), chunk));
      const hpi::ChunkHeader h = hpi::ParseChunkHeader(chunk.data());
      EXPECT_EQ(h.marker, 0x48535153u);
      EXPECT_EQ(h.version, 2);
      EXPECT_EQ(h.scrambled, 1);
      EXPECT_EQ(h.decompressedSize, in->size());
      ASSERT_TRUE(hpi::ChunkHeaderIsSane(h, chunk.size()));
      // Data that does not shrink is stored; text is compressed.
      EXPECT_EQ(h.method, in == &noise ? 0 : uint8_t(m));
      Bytes copy = chunk, out(in->size());
      ASSERT_TRUE(hpi::DecodeChunk(h, copy.data() + 19, out.data()));
      EXPECT_EQ(out, *in);
      // One changed data byte breaks the checksum.
      copy = chunk;
      copy[40] ^= 0x01;
      EXPECT_FALSE(hpi::DecodeChunk(h, copy.data() + 19, out.data()));
      // Sizes that disagree with the stored length, or more than 64 KiB.
      EXPECT_FALSE(hpi::ChunkHeaderIsSane(h, chunk.size() + 1));
      hpi::ChunkHeader big = h;
      big.decompressedSize = 65537;
      EXPECT_FALSE(hpi::ChunkHeaderIsSane(big, chunk.size()));
    }
  }
}

// An encrypted archive assembled byte by byte: root entries out of name
// order and in mixed case, a stored file and an LZ77 file whose one chunk is
// the example stream, scrambled.
Bytes HandBuiltArchive() {
  hpitest::RawArchive a;
  a.U32(0x49504148);
  a.U32(0x00010000);
  const size_t dirEnd = a.U32(0);
  a.U32(0x7D);
  a.U32(20);
  // Root node and its two entries.
  a.U32(2);
  const size_t rootEntries = a.U32(0);
  a.Patch32(rootEntries, uint32_t(a.size()));
  const size_t e1 = a.size();
  a.U32(0), a.U32(0), a.U8(0);
  const size_t e2 = a.size();
  a.U32(0), a.U32(0), a.U8(1);
  a.Patch32(e1, uint32_t(a.Name("Zeta.TXT")));
  const size_t zetaRecord = a.size();
  a.Patch32(e1 + 4, uint32_t(zetaRecord));
  const size_t zetaData = a.U32(0);
  a.U32(5), a.U8(0);
  a.Patch32(e2, uint32_t(a.Name("alpha")));
  // The directory "alpha" with one entry.
  a.Patch32(e2 + 4, uint32_t(a.size()));
  a.U32(1);
  const size_t subEntries = a.U32(0);
  a.Patch32(subEntries, uint32_t(a.size()));
  const size_t e3 = a.size();
  a.U32(0), a.U32(0), a.U8(0);
  a.Patch32(e3, uint32_t(a.Name("Data.bin")));
  a.Patch32(e3 + 4, uint32_t(a.size()));
  const size_t dataRecord = a.U32(0);
  a.U32(8), a.U8(1);
  a.Patch32(dirEnd, uint32_t(a.size()));
  // File data.
  a.Patch32(zetaData, uint32_t(a.Bytes({'h', 'e', 'l', 'l', 'o'})));
  a.Patch32(dataRecord, uint32_t(a.size()));
  Bytes stream = {0x0C, 0x41, 0x42, 0x14, 0x00, 0x00, 0x00};
  uint32_t sum = 0;
  for (size_t i = 0; i < stream.size(); ++i) {
    stream[i] = uint8_t((stream[i] ^ i) + i);
    sum += stream[i];
  }
  a.U32(uint32_t(19 + stream.size()));
  a.U32(0x48535153), a.U8(2), a.U8(1), a.U8(1);
  a.U32(uint32_t(stream.size())), a.U32(8), a.U32(sum);
  a.Bytes(stream);
  Bytes out = a.Finish(0x7D);
  // A plain copyright line after the data is ignored.
  const std::string tail = "Copyright nobody";
  out.insert(out.end(), tail.begin(), tail.end());
  return out;
}

TEST(HpiFormat, ReadsAHandBuiltEncryptedArchive) {
  hpitest::ScratchDir dir;
  hpitest::WriteBytes(dir / "hand.hpi", HandBuiltArchive());
  HPIHANDLE h = HPIOpen((dir / "hand.hpi").c_str());
  ASSERT_NE(h, nullptr);

  std::vector<char> name(HPI_NAME_BUFFER);
  int32_t type = 0, size = 0;
  std::vector<std::string> walk;
  for (int32_t pos = HPIGetFiles(h, 0, name.data(), &type, &size); pos;
       pos = HPIGetFiles(h, pos, name.data(), &type, &size))
    walk.push_back(std::string(type ? "d " : "f ") + std::to_string(size) + " " + name.data());
  // Stored order, depth first, a directory before its contents.
  EXPECT_EQ(walk, (std::vector<std::string>{"f 5 Zeta.TXT", "d 0 alpha", "f 8 alpha\\Data.bin"}));

  char buf[16] = {};
  HPIHANDLE f = HPIOpenFile(h, "zeta.txt");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(HPIGet(buf, f, 0, 5), 5);
  EXPECT_EQ(std::string(buf, 5), "hello");
  HPICloseFile(f);
  f = HPIOpenFile(h, "ALPHA\\data.BIN");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(HPIGet(buf, f, 0, 8), 8);
  EXPECT_EQ(std::string(buf, 8), "ABABABAB");
  HPICloseFile(f);
  HPIClose(h);
}

}  // namespace
