// mksounds FOLDER: writes the demo's sound files below FOLDER: the sound table "types\Sounds.txt"
// with one bank entry (sound id 100) and its sample "S\100.wav", a short generated tone.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "sound/wave_writer.h"

namespace {

constexpr uint32_t kRate = 22050;
constexpr double kToneHertz = 440.0;
constexpr double kToneAmplitude = 8000.0;

// bank count; header 100 (bank 1) with one entry: priority, volume, flags, pitch low and high,
// volume spread, range. Full volume (255), so a run's captured audio holds the tone at the
// effects volume's level alone.
constexpr const char* kSoundTable =
    "/ The demo's sound banks\n"
    "1;\n"
    "100; 1;\n"
    "10; 255; NULL; 0; 0; 0; 0;\n";

bool Write(const std::filesystem::path& path, const std::string& bytes) {
  std::error_code ec;
  std::filesystem::create_directories(path.parent_path(), ec);
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), std::streamsize(bytes.size()));
  return bool(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: mksounds FOLDER\n");
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  sound_tool::WaveOptions options;
  options.rate = kRate;
  const std::string wave = sound_tool::MakeWave(options, sound_tool::SinePcm16(kToneHertz, kRate, kRate / 4, kToneAmplitude));
  // The text form's last byte is not part of its content.
  if (!Write(folder / "types" / "Sounds.txt", std::string(kSoundTable) + "\n") || !Write(folder / "S" / "100.wav", wave)) {
    std::fprintf(stderr, "mksounds: cannot write below %s\n", argv[1]);
    return 1;
  }
  return 0;
}
