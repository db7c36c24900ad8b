// Body, cut and texture names: the file name of a body or a cut by number (its BodyData or
// CutData row's name, else a number of its own), and the texture id of a texture name, with the
// interface textures resolved once and kept. Called by the body and cut loaders, the body writer,
// the natives and the interface code.
#pragma once

#include <cstdint>
#include <string>

// Empty for an id that names no row; the row's name when it has one; else "v\%05d" of the id with
// the folder flag and "%d" without.
void B3D_GetBodyFilename(std::string* name, int32_t bodyId, int32_t withFolder);
// The same for cuts, with "cut\%05d".
void B3D_GetCutFilename(std::string* name, int32_t cutId, int32_t withFolder);
// The kept id of an interface texture (its name compared ignoring case), else the texture's id by
// name with `flags` as the path mark.
int16_t B3D_GetTextureID(const char* name, int32_t flags);
// Forgets the kept interface texture ids (the texture table was rebuilt).
void ResetInterfaceTextureIds();
