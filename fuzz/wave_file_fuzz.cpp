// Fuzz target of the wave file loader: the input is a whole game file "s\fuzz.wav". An accepted
// sample must hold exactly the data bytes it claims; every sample is freed again.
#include <cstddef>
#include <cstdint>

#include "devices/sound_device.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::World();
  if (!fuzz::WriteFile("s/fuzz.wav", data, size)) return 0;
  SoundSample* sample = LoadWaveFile("s\\fuzz", 0x20);
  if (sample != nullptr) {
    if (sample->length > size || sample->wave == nullptr || sample->frequency == 0) __builtin_trap();
    // Touch every byte the sample says it has.
    volatile uint8_t sum = 0;
    for (uint32_t k = 0; k < sample->length; ++k) sum = uint8_t(sum + sample->data[k]);
    (void)sum;
    FreeSoundSample(sample);
  }
  // Writing over a file is much slower than making a new one.
  fuzz::RemoveFile("s/fuzz.wav");
  return 0;
}
