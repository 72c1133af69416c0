#include "tests/support/Sf2Writer.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>

namespace zs::test {
namespace {

// Little-endian byte writer for RIFF chunks.
struct Bytes {
  std::string data;
  void U8(uint8_t v) { data.push_back(static_cast<char>(v)); }
  void U16(uint16_t v) { U8(v & 0xff); U8(v >> 8); }
  void U32(uint32_t v) { U16(v & 0xffff); U16(v >> 16); }
  void Tag(const char* t) { data.append(t, 4); }
  void Name(const std::string& s, size_t size) {
    std::string n = s.substr(0, size - 1);
    n.resize(size, '\0');
    data += n;
  }
  void Append(const Bytes& b) { data += b.data; }
};

Bytes Chunk(const char* tag, const Bytes& body) {
  Bytes c;
  c.Tag(tag);
  c.U32(static_cast<uint32_t>(body.data.size()));
  c.Append(body);
  if (body.data.size() % 2) c.U8(0);
  return c;
}

Bytes List(const char* type, const Bytes& chunks) {
  Bytes body;
  body.Tag(type);
  body.Append(chunks);
  return Chunk("LIST", body);
}

constexpr int kPeriod = 100;  // samples per cycle: 441 Hz at 44100 Hz
constexpr int kCycles = 20;
constexpr int kFrames = kPeriod * kCycles;
constexpr int kPadding = 46;  // zero samples the format asks for after each sample
constexpr uint16_t kGenInstrument = 41;
constexpr uint16_t kGenSampleModes = 54;
constexpr uint16_t kGenSampleId = 53;

}  // namespace

bool WriteSf2(const std::string& path, const std::vector<Sf2Preset>& presets) {
  Bytes ifil, isng, inam;
  ifil.U16(2);
  ifil.U16(1);
  isng.Name("EMU8000", 8);
  inam.Name("Test", 6);
  Bytes info;
  info.Append(Chunk("ifil", ifil));
  info.Append(Chunk("isng", isng));
  info.Append(Chunk("INAM", inam));

  Bytes smpl;
  for (int i = 0; i < kFrames; ++i) {
    double v = 0.5 * std::sin(2.0 * M_PI * i / kPeriod);
    smpl.U16(static_cast<uint16_t>(static_cast<int16_t>(std::lround(v * 32767))));
  }
  for (int i = 0; i < kPadding; ++i) smpl.U16(0);
  Bytes sdta = Chunk("smpl", smpl);

  // Every preset has one zone naming instrument 0; the instrument has one looped zone.
  Bytes phdr, pbag, pmod, pgen, inst, ibag, imod, igen, shdr;
  uint16_t bagIndex = 0;
  for (const Sf2Preset& p : presets) {
    phdr.Name(p.name, 20);
    phdr.U16(static_cast<uint16_t>(p.program));
    phdr.U16(static_cast<uint16_t>(p.bank));
    phdr.U16(bagIndex);
    phdr.U32(0);
    phdr.U32(0);
    phdr.U32(0);
    pbag.U16(bagIndex);  // one generator per bag
    pbag.U16(0);
    pgen.U16(kGenInstrument);
    pgen.U16(0);
    ++bagIndex;
  }
  phdr.Name("EOP", 20);
  phdr.U16(0);
  phdr.U16(0);
  phdr.U16(bagIndex);
  phdr.U32(0);
  phdr.U32(0);
  phdr.U32(0);
  pbag.U16(bagIndex);
  pbag.U16(0);
  pmod.data.append(10, '\0');
  pgen.U32(0);

  inst.Name("Sine", 20);
  inst.U16(0);
  inst.Name("EOI", 20);
  inst.U16(1);
  ibag.U16(0);
  ibag.U16(0);
  ibag.U16(2);
  ibag.U16(0);
  imod.data.append(10, '\0');
  igen.U16(kGenSampleModes);
  igen.U16(1);  // loop continuously
  igen.U16(kGenSampleId);
  igen.U16(0);
  igen.U32(0);

  shdr.Name("Sine", 20);
  shdr.U32(0);
  shdr.U32(kFrames);
  shdr.U32(kPeriod * 2);
  shdr.U32(kPeriod * (kCycles - 2));
  shdr.U32(44100);
  shdr.U8(69);
  shdr.U8(0);
  shdr.U16(0);
  shdr.U16(1);  // mono
  shdr.Name("EOS", 20);
  shdr.data.append(26, '\0');

  Bytes pdta;
  pdta.Append(Chunk("phdr", phdr));
  pdta.Append(Chunk("pbag", pbag));
  pdta.Append(Chunk("pmod", pmod));
  pdta.Append(Chunk("pgen", pgen));
  pdta.Append(Chunk("inst", inst));
  pdta.Append(Chunk("ibag", ibag));
  pdta.Append(Chunk("imod", imod));
  pdta.Append(Chunk("igen", igen));
  pdta.Append(Chunk("shdr", shdr));

  Bytes body;
  body.Tag("sfbk");
  body.Append(List("INFO", info));
  body.Append(List("sdta", sdta));
  body.Append(List("pdta", pdta));
  Bytes file = Chunk("RIFF", body);

  std::ofstream out(path, std::ios::binary);
  out.write(file.data.data(), static_cast<std::streamsize>(file.data.size()));
  return static_cast<bool>(out);
}

}  // namespace zs::test
