// SPDX-License-Identifier: LGPL-2.1-or-later
#include "tests/support/Sf2Writer.h"

#include <cmath>
#include <cstdint>
#include <fstream>
#include <initializer_list>
#include <utility>

namespace zs::test {
namespace {

// Little-endian byte writer for RIFF chunks.
struct Bytes {
  std::string data;
  void U8(uint8_t v) { data.push_back(static_cast<char>(v)); }
  void U16(std::initializer_list<uint16_t> values) {
    for (uint16_t v : values) U8(v & 0xff), U8(v >> 8);
  }
  void U32(std::initializer_list<uint32_t> values) {
    for (uint32_t v : values) U16({uint16_t(v & 0xffff), uint16_t(v >> 16)});
  }
  void Name(const std::string& s, size_t size) {
    std::string n = s.substr(0, size - 1);
    n.resize(size, '\0');
    data += n;
  }
};

Bytes Chunk(const char* tag, const std::string& body) {
  Bytes c;
  c.data.append(tag, 4);
  c.U32({static_cast<uint32_t>(body.size())});
  c.data += body;
  if (body.size() % 2) c.U8(0);
  return c;
}

// A LIST chunk of the given type holding the named sub-chunks in order.
std::string List(const char* type, std::initializer_list<std::pair<const char*, const Bytes*>> chunks) {
  std::string body(type, 4);
  for (auto [tag, bytes] : chunks) body += Chunk(tag, bytes->data).data;
  return Chunk("LIST", body).data;
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
  ifil.U16({2, 1});
  isng.Name("EMU8000", 8);
  inam.Name("Test", 6);

  Bytes smpl;
  for (int i = 0; i < kFrames; ++i) {
    double v = 0.5 * std::sin(2.0 * M_PI * i / kPeriod);
    smpl.U16({static_cast<uint16_t>(static_cast<int16_t>(std::lround(v * 32767)))});
  }
  smpl.data.append(2 * kPadding, '\0');

  // Every preset has one zone naming instrument 0; the instrument has one looped zone.
  Bytes phdr, pbag, pmod, pgen, inst, ibag, imod, igen, shdr;
  uint16_t bagIndex = 0;
  for (const Sf2Preset& p : presets) {
    phdr.Name(p.name, 20);
    phdr.U16({static_cast<uint16_t>(p.program), static_cast<uint16_t>(p.bank), bagIndex});
    phdr.U32({0, 0, 0});
    pbag.U16({bagIndex, 0});  // one generator per bag
    pgen.U16({kGenInstrument, 0});
    ++bagIndex;
  }
  phdr.Name("EOP", 20);
  phdr.U16({0, 0, bagIndex});
  phdr.U32({0, 0, 0});
  pbag.U16({bagIndex, 0});
  pmod.data.append(10, '\0');
  pgen.U32({0});

  inst.Name("Sine", 20);
  inst.U16({0});
  inst.Name("EOI", 20);
  inst.U16({1});
  ibag.U16({0, 0, 2, 0});
  imod.data.append(10, '\0');
  igen.U16({kGenSampleModes, 1, kGenSampleId, 0});  // loop continuously, sample 0
  igen.U32({0});

  shdr.Name("Sine", 20);
  shdr.U32({0, kFrames, kPeriod * 2, kPeriod * (kCycles - 2), 44100});
  shdr.U8(69);
  shdr.U8(0);
  shdr.U16({0, 1});  // mono
  shdr.Name("EOS", 20);
  shdr.data.append(26, '\0');

  Bytes sdta = Chunk("smpl", smpl.data);
  std::string body = "sfbk" + List("INFO", {{"ifil", &ifil}, {"isng", &isng}, {"INAM", &inam}}) +
                     Chunk("LIST", "sdta" + sdta.data).data +
                     List("pdta", {{"phdr", &phdr}, {"pbag", &pbag}, {"pmod", &pmod}, {"pgen", &pgen}, {"inst", &inst},
                                   {"ibag", &ibag}, {"imod", &imod}, {"igen", &igen}, {"shdr", &shdr}});
  std::string file = Chunk("RIFF", body).data;
  std::ofstream out(path, std::ios::binary);
  out.write(file.data(), static_cast<std::streamsize>(file.size()));
  return static_cast<bool>(out);
}

}  // namespace zs::test
