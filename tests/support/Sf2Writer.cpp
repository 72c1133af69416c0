// SPDX-License-Identifier: LGPL-2.1-or-later
#include "tests/support/Sf2Writer.h"

#include <cmath>
#include <cstdint>
#include <fstream>
#include <initializer_list>
#include <utility>

namespace zs::test {
namespace {

// Little-endian values and fixed-size names, as RIFF chunks hold them.
struct Bytes {
  std::string data;
  Bytes& U16(std::initializer_list<uint16_t> values) {
    for (uint16_t v : values) data += {static_cast<char>(v & 0xff), static_cast<char>(v >> 8)};
    return *this;
  }
  Bytes& U32(std::initializer_list<uint32_t> values) {
    for (uint32_t v : values) U16({uint16_t(v & 0xffff), uint16_t(v >> 16)});
    return *this;
  }
  Bytes& Name(const std::string& s, size_t size) {
    std::string n = s.substr(0, size - 1);
    n.resize(size, '\0');
    data += n;
    return *this;
  }
};

std::string Chunk(const char* tag, const std::string& body) {
  Bytes c;
  c.data.append(tag, 4);
  c.U32({static_cast<uint32_t>(body.size())});
  return c.data + body + (body.size() % 2 ? std::string(1, '\0') : "");
}

// A LIST chunk of the given type holding the named sub-chunks in order.
std::string List(const char* type, std::initializer_list<std::pair<const char*, const Bytes*>> chunks) {
  std::string body(type, 4);
  for (auto [tag, bytes] : chunks) body += Chunk(tag, bytes->data);
  return Chunk("LIST", body);
}

constexpr int kPeriod = 100;  // samples per cycle: 441 Hz at 44100 Hz
constexpr int kCycles = 20;
constexpr int kFrames = kPeriod * kCycles;
constexpr int kPadding = 46;  // zero samples the format asks for after each sample
constexpr uint16_t kGenInstrument = 41, kGenSampleId = 53, kGenSampleModes = 54;

}  // namespace

bool WriteSf2(const std::string& path, const std::vector<Sf2Preset>& presets) {
  Bytes ifil, isng, inam, smpl;
  ifil.U16({2, 1});
  isng.Name("EMU8000", 8);
  inam.Name("Test", 6);
  for (int i = 0; i < kFrames; ++i) {
    const double v = 0.5 * std::sin(2.0 * M_PI * i / kPeriod);
    smpl.U16({static_cast<uint16_t>(static_cast<int16_t>(std::lround(v * 32767)))});
  }
  smpl.data.append(2 * kPadding, '\0');

  // Every preset has one zone naming instrument 0; the instrument has one looped zone.
  Bytes phdr, pbag, pmod, pgen, inst, ibag, imod, igen, shdr;
  uint16_t bag = 0;
  for (const Sf2Preset& p : presets) {
    phdr.Name(p.name, 20).U16({static_cast<uint16_t>(p.program), static_cast<uint16_t>(p.bank), bag}).U32({0, 0, 0});
    pbag.U16({bag++, 0});  // one generator per bag
    pgen.U16({kGenInstrument, 0});
  }
  phdr.Name("EOP", 20).U16({0, 0, bag}).U32({0, 0, 0});
  pbag.U16({bag, 0});
  pmod.data.append(10, '\0');
  pgen.U32({0});
  inst.Name("Sine", 20).U16({0}).Name("EOI", 20).U16({1});
  ibag.U16({0, 0, 2, 0});
  imod.data.append(10, '\0');
  igen.U16({kGenSampleModes, 1, kGenSampleId, 0}).U32({0});  // loop continuously, sample 0
  // Root key 69, no correction, mono.
  shdr.Name("Sine", 20).U32({0, kFrames, kPeriod * 2, kPeriod * (kCycles - 2), 44100}).U16({69, 0, 1});
  shdr.Name("EOS", 20).data.append(26, '\0');

  const std::string pdta =
      List("pdta", {{"phdr", &phdr}, {"pbag", &pbag}, {"pmod", &pmod}, {"pgen", &pgen}, {"inst", &inst},
                    {"ibag", &ibag}, {"imod", &imod}, {"igen", &igen}, {"shdr", &shdr}});
  const std::string body = "sfbk" + List("INFO", {{"ifil", &ifil}, {"isng", &isng}, {"INAM", &inam}}) +
                           Chunk("LIST", "sdta" + Chunk("smpl", smpl.data)) + pdta;
  const std::string file = Chunk("RIFF", body);
  std::ofstream out(path, std::ios::binary);
  out.write(file.data(), static_cast<std::streamsize>(file.size()));
  return static_cast<bool>(out);
}

}  // namespace zs::test
