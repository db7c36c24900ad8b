// Converts text bodies into the binary form with the engine's own parser and writer, as the
// game's conversion switch does. Shared by mkbodies (the demo's binary bodies) and the fuzz seeds
// of the binary body reader, so both hold exactly what the writer makes.
#pragma once

#include <cstdint>
#include <string>

namespace bodytool {

// Sets up what the parser and the writer need and the caller has not: the math tables, a texture
// table and a system block naming the product's folders. Harmless when called again.
void PrepareBodyConversion();

// Parses `text` as body `id` and writes it through WriteBodyBinary into the product's conversion
// folder ("vc\") below the current folder, which must exist. False when either step fails.
bool ConvertTextBody(int32_t id, const std::string& text);

// The conversion folder and the file name the writer gives body `id` without a BodyData name.
std::string BinaryBodyPath(int32_t id);

}  // namespace bodytool
