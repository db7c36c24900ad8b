// The scene stretch's bodies, built as meshes of points and faces and written out in the text
// body form. Every face is wound so the parser's normal (the cross product of its first two
// edges) points away from the part it belongs to, as the cube's faces are.
#include "bodies/demo_scene_bodies.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

#include "bodies/body_text_writer.h"
#include "images/image_writer.h"

namespace bodytool {

namespace {

using Vec = std::array<double, 3>;

struct Face {
  std::vector<int> corners;
  std::vector<std::array<double, 2>> uv;
  int smoothing;
};

struct Mesh {
  std::vector<std::array<int, 3>> points;
  std::vector<Face> faces;
};

Vec Sub(const Vec& a, const Vec& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
Vec Cross(const Vec& a, const Vec& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
double Dot(const Vec& a, const Vec& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

int AddPoint(Mesh* mesh, const Vec& p) {
  mesh->points.push_back({static_cast<int>(std::lround(p[0])), static_cast<int>(std::lround(p[1])),
                          static_cast<int>(std::lround(p[2]))});
  return static_cast<int>(mesh->points.size()) - 1;
}

Vec PointOf(const Mesh& mesh, int index) {
  const auto& p = mesh.points[static_cast<size_t>(index)];
  return {double(p[0]), double(p[1]), double(p[2])};
}

// Adds a face of three or four corners, reversed when its normal would point against `outward`.
void AddFace(Mesh* mesh, std::vector<int> corners, std::vector<std::array<double, 2>> uv, const Vec& outward,
             int smoothing = 0) {
  const Vec a = PointOf(*mesh, corners[0]);
  const Vec n = Cross(Sub(PointOf(*mesh, corners[1]), a), Sub(PointOf(*mesh, corners[2]), a));
  if (Dot(n, outward) < 0) {
    std::reverse(corners.begin(), corners.end());
    std::reverse(uv.begin(), uv.end());
  }
  mesh->faces.push_back({std::move(corners), std::move(uv), smoothing});
}

const std::vector<std::array<double, 2>> kQuadUv = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};

// A quad of four points given in order round its edge, facing away from `centre`.
void AddQuad(Mesh* mesh, const Vec& p0, const Vec& p1, const Vec& p2, const Vec& p3, const Vec& centre) {
  const int i0 = AddPoint(mesh, p0), i1 = AddPoint(mesh, p1), i2 = AddPoint(mesh, p2), i3 = AddPoint(mesh, p3);
  const Vec middle = {(p0[0] + p2[0]) / 2, (p0[1] + p2[1]) / 2, (p0[2] + p2[2]) / 2};
  AddFace(mesh, {i0, i1, i2, i3}, kQuadUv, Sub(middle, centre));
}

void AddBox(Mesh* mesh, const Vec& lo, const Vec& hi) {
  const Vec c = {(lo[0] + hi[0]) / 2, (lo[1] + hi[1]) / 2, (lo[2] + hi[2]) / 2};
  const auto P = [&](int x, int y, int z) { return Vec{x ? hi[0] : lo[0], y ? hi[1] : lo[1], z ? hi[2] : lo[2]}; };
  AddQuad(mesh, P(0, 0, 0), P(0, 1, 0), P(1, 1, 0), P(1, 0, 0), c);
  AddQuad(mesh, P(0, 0, 1), P(1, 0, 1), P(1, 1, 1), P(0, 1, 1), c);
  AddQuad(mesh, P(0, 0, 0), P(1, 0, 0), P(1, 0, 1), P(0, 0, 1), c);
  AddQuad(mesh, P(0, 1, 0), P(0, 1, 1), P(1, 1, 1), P(1, 1, 0), c);
  AddQuad(mesh, P(0, 0, 0), P(0, 0, 1), P(0, 1, 1), P(0, 1, 0), c);
  AddQuad(mesh, P(1, 0, 0), P(1, 1, 0), P(1, 1, 1), P(1, 0, 1), c);
}

std::string Number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", v);
  return text;
}

// Material flag: the faces blend over the picture by their texture's alpha.
constexpr int kBlendedByAlpha = 0x4;

// One kind-6 material naming `texture`; `twoSided` draws its faces from both sides; `flags` is
// its flag word.
std::string Material(const std::string& texture, bool twoSided, int flags = 0) {
  return "MATERIAL6: 1; " + std::to_string(flags) + "; " + texture +
         "; 60;60;60; 255;255;255; 255;255;255; 0;0;20;40; 0; " +
         (twoSided ? "1" : "0") + ";0; 100; NULL;0; NULL;0; NULL;0; NULL;0; NULL;0;\n";
}

// The text body: one material, one mesh of one part. Its size is twice its farthest coordinate
// unless `size` gives it.
std::string BodyText(const std::string& name, const std::string& material, const Mesh& mesh, int size = 0) {
  int extent = 1;
  for (const auto& p : mesh.points)
    for (int c : p) extent = std::max(extent, std::abs(c));
  if (size <= 0) size = 2 * extent;
  std::string text = "NAME: " + name + ";\n" + material + "BODIES:\n" + std::to_string(size) + ";\nPOINTS:\n";
  for (const auto& p : mesh.points)
    text += std::to_string(p[0]) + ";" + std::to_string(p[1]) + ";" + std::to_string(p[2]) + "; ";
  text += "\n-1;-1;-1;\nPARTS:\n";
  for (const Face& f : mesh.faces) {
    // Faces name the body's own material by its place in the list, the first being 0; the flags
    // word -24 announces a smoothing word and texture coordinates.
    text += "0;";
    for (int c : f.corners) text += " " + std::to_string(c) + ";";
    text += " -24; " + std::to_string(f.smoothing) + ";";
    for (const auto& t : f.uv) text += " " + Number(t[0]) + ";" + Number(t[1]) + ";";
    text += "\n";
  }
  return text + "-99; 0;\n-99;\n0;\n";
}

}  // namespace

std::string ShipBodyText(const std::string& texture) {
  Mesh mesh;
  const Vec centre = {0, 0, 0};
  const Vec nose = {0, 0, 320}, tail = {0, 0, -180};
  const Vec top = {0, 60, -60}, bottom = {0, -40, -60}, left = {-70, 0, -40}, right = {70, 0, -40};
  // The hull: eight triangles between nose, tail and the four corners of its widest section.
  const Vec ring[4] = {top, right, bottom, left};
  for (int k = 0; k < 4; ++k) {
    const Vec& a = ring[k];
    const Vec& b = ring[(k + 1) % 4];
    for (const Vec& tip : {nose, tail}) {
      const int i0 = AddPoint(&mesh, tip), i1 = AddPoint(&mesh, a), i2 = AddPoint(&mesh, b);
      const Vec middle = {(tip[0] + a[0] + b[0]) / 3, (tip[1] + a[1] + b[1]) / 3, (tip[2] + a[2] + b[2]) / 3};
      AddFace(&mesh, {i0, i1, i2}, {{0.5, 0}, {0, 1}, {1, 1}}, Sub(middle, centre));
    }
  }
  // Swept wings: thin slabs from the hull's sides out to the tips.
  for (int side : {-1, 1}) {
    const double s = side;
    AddQuad(&mesh, {s * 60, 4, 60}, {s * 260, 4, -120}, {s * 260, 4, -170}, {s * 60, 4, -120}, {s * 160, -100, -90});
    AddQuad(&mesh, {s * 60, -4, 60}, {s * 260, -4, -120}, {s * 260, -4, -170}, {s * 60, -4, -120}, {s * 160, 100, -90});
    AddQuad(&mesh, {s * 260, 4, -120}, {s * 260, -4, -120}, {s * 260, -4, -170}, {s * 260, 4, -170}, {0, 0, -140});
  }
  return BodyText("vexaship", Material(texture, false), mesh);
}

std::string StationBodyText(const std::string& texture) {
  Mesh mesh;
  AddBox(&mesh, {-90, -260, -90}, {90, 260, 90});  // the hub
  AddBox(&mesh, {-130, 260, -130}, {130, 320, 130});  // its docking cap
  constexpr int kSegments = 16;
  constexpr double kInner = 440, kOuter = 560, kHalfHeight = 50;
  for (int k = 0; k < kSegments; ++k) {
    const double a0 = 2 * M_PI * k / kSegments, a1 = 2 * M_PI * (k + 1) / kSegments;
    const auto At = [](double r, double a, double y) { return Vec{r * std::cos(a), y, r * std::sin(a)}; };
    const double am = (a0 + a1) / 2;
    const Vec centre = At((kInner + kOuter) / 2, am, 0);
    AddQuad(&mesh, At(kOuter, a0, -kHalfHeight), At(kOuter, a1, -kHalfHeight), At(kOuter, a1, kHalfHeight),
            At(kOuter, a0, kHalfHeight), centre);
    AddQuad(&mesh, At(kInner, a0, -kHalfHeight), At(kInner, a0, kHalfHeight), At(kInner, a1, kHalfHeight),
            At(kInner, a1, -kHalfHeight), centre);
    AddQuad(&mesh, At(kInner, a0, kHalfHeight), At(kOuter, a0, kHalfHeight), At(kOuter, a1, kHalfHeight),
            At(kInner, a1, kHalfHeight), centre);
    AddQuad(&mesh, At(kInner, a0, -kHalfHeight), At(kInner, a1, -kHalfHeight), At(kOuter, a1, -kHalfHeight),
            At(kOuter, a0, -kHalfHeight), centre);
  }
  // Four spokes from the hub out to the ring.
  AddBox(&mesh, {90, -20, -20}, {kInner, 20, 20});
  AddBox(&mesh, {-kInner, -20, -20}, {-90, 20, 20});
  AddBox(&mesh, {-20, -20, 90}, {20, 20, kInner});
  AddBox(&mesh, {-20, -20, -kInner}, {20, 20, -90});
  return BodyText("vexastation", Material(texture, false), mesh);
}

std::string PlanetBodyText(const std::string& texture) {
  Mesh mesh;
  constexpr int kLongitudes = 24, kLatitudes = 12;
  constexpr double kRadius = 1500;
  // A grid of points, each seam and pole point repeated so every face has its own coordinates.
  std::vector<std::vector<int>> grid(kLatitudes + 1, std::vector<int>(kLongitudes + 1));
  for (int i = 0; i <= kLatitudes; ++i) {
    const double lat = M_PI * i / kLatitudes - M_PI / 2;
    for (int j = 0; j <= kLongitudes; ++j) {
      const double lon = 2 * M_PI * j / kLongitudes;
      grid[i][j] = AddPoint(&mesh, {kRadius * std::cos(lat) * std::cos(lon), kRadius * std::sin(lat),
                                    kRadius * std::cos(lat) * std::sin(lon)});
    }
  }
  const Vec centre = {0, 0, 0};
  for (int i = 0; i < kLatitudes; ++i) {
    for (int j = 0; j < kLongitudes; ++j) {
      const double u0 = double(j) / kLongitudes, u1 = double(j + 1) / kLongitudes;
      const double v0 = 1 - double(i) / kLatitudes, v1 = 1 - double(i + 1) / kLatitudes;
      const Vec middle = PointOf(mesh, grid[i][j]);
      const Vec across = PointOf(mesh, grid[i + 1][j + 1]);
      const Vec out = Sub({(middle[0] + across[0]) / 2, (middle[1] + across[1]) / 2, (middle[2] + across[2]) / 2},
                          centre);
      if (i == 0) {
        AddFace(&mesh, {grid[i][j], grid[i + 1][j], grid[i + 1][j + 1]}, {{u0, v0}, {u0, v1}, {u1, v1}}, out, 1);
      } else if (i == kLatitudes - 1) {
        AddFace(&mesh, {grid[i][j], grid[i + 1][j], grid[i][j + 1]}, {{u0, v0}, {u0, v1}, {u1, v0}}, out, 1);
      } else {
        AddFace(&mesh, {grid[i][j], grid[i + 1][j], grid[i + 1][j + 1], grid[i][j + 1]},
                {{u0, v0}, {u0, v1}, {u1, v1}, {u1, v0}}, out, 1);
      }
    }
  }
  return BodyText("vexaplanet", Material(texture, false), mesh);
}

std::string FlareSpriteBodyText(const std::string& name, const std::string& texture, int32_t half) {
  Mesh mesh;
  const double h = half;
  AddQuad(&mesh, {-h, -h, 0}, {-h, h, 0}, {h, h, 0}, {h, -h, 0}, {0, 0, 1});
  // The glow fades out towards its rim through the texture's alpha.
  return BodyText(name, Material(texture, true, kBlendedByAlpha), mesh);
}

namespace {

// Letter shapes for the 3D text, five pixels wide and seven high, one row a byte (bit 4 the left
// pixel): the demo font's glyphs are frames with a pattern inside, which no one could read in a
// word. Characters without a shape here take the demo font's glyph.
struct LetterShape {
  char code;
  uint8_t rows[7];
};
constexpr LetterShape kLetterShapes[] = {
    {'A', {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'B', {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E}},
    {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}},
    {'D', {0x1E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x1E}},
    {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}},
    {'F', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}},
    {'G', {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F}},
    {'H', {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'J', {0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0C}},
    {'K', {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11}},
    {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}},
    {'M', {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}},
    {'N', {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11}},
    {'O', {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}},
    {'P', {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}},
    {'Q', {0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D}},
    {'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}},
    {'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}},
    {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}},
    {'U', {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}},
    {'V', {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04}},
    {'W', {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A}},
    {'X', {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11}},
    {'Y', {0x11, 0x11, 0x0A, 0x04, 0x04, 0x04, 0x04}},
    {'Z', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F}},
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}},
    {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}},
    {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}},
    {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}},
    {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}},
    {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
};

const LetterShape* ShapeOf(int32_t code) {
  if (code >= 'a' && code <= 'z') code -= 'a' - 'A';
  for (const LetterShape& shape : kLetterShapes) {
    if (shape.code == code) return &shape;
  }
  return nullptr;
}

// Whether pixel (x, y) of the character's 8 x 8 cell is set: a letter shape stands in columns 1
// to 5 and rows 1 to 7.
bool CharacterPixel(int32_t code, int x, int y) {
  const LetterShape* shape = ShapeOf(code);
  if (!shape) return image_tool::DemoGlyphBit(code, x, y, image_tool::DemoGlyphWidth(code));
  if (x < 1 || x > 5 || y < 1 || y > 7) return false;
  return (shape->rows[y - 1] >> (5 - x) & 1) != 0;
}

}  // namespace

std::string TextCharacterBodyText(int32_t code, const std::string& texture) {
  // Pixels of 12 units: the 8 x 8 cell spans 96 units, centred on the character's origin.
  constexpr double kPixel = 12, kHalfCell = 48;
  Mesh mesh;
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      if (!CharacterPixel(code, x, y)) continue;
      const double x0 = x * kPixel - kHalfCell, y0 = kHalfCell - (y + 1) * kPixel;
      AddQuad(&mesh, {x0, y0, 0}, {x0, y0 + kPixel, 0}, {x0 + kPixel, y0 + kPixel, 0}, {x0 + kPixel, y0, 0},
              {x0 + kPixel / 2, y0 + kPixel / 2, 1});
    }
  }
  if (mesh.faces.empty()) AddQuad(&mesh, {0, 0, 0}, {0, 1, 0}, {1, 1, 0}, {1, 0, 0}, {0.5, 0.5, 1});
  // A body's points are read as fractions of its farthest coordinate, which the instance's size
  // then stretches to; the text sets its characters one size apart. A point that no face uses
  // stands at 2.5 half cells, so every glyph keeps the same scale and its cell takes four fifths
  // of the step from one character to the next: neighbouring glyphs keep a gap.
  AddPoint(&mesh, {0, 0, 2.5 * kHalfCell});
  return BodyText("char" + std::to_string(code), Material(texture, true), mesh, static_cast<int>(4 * kHalfCell));
}

std::vector<DemoBody> DemoSceneBodies() {
  std::vector<DemoBody> bodies = {
      {3, ShipBodyText("vexaship")},
      {4, StationBodyText("vexahull")},
      {5, PlanetBodyText("vexaplanet")},
      {6, FlareSpriteBodyText("flareglow", "vexaflare", 60)},
      {7, FlareSpriteBodyText("flarering", "vexaflare", 30)},
      // The probe the lens-flare occlusion test places along each flare's ray.
      {195, CubeBodyText()},
  };
  // The 3D text's characters 32 to 127 are bodies 600 to 695.
  for (int32_t code = 32; code <= 127; ++code) bodies.push_back({600 + code - 32, TextCharacterBodyText(code, "vexaglyph")});
  return bodies;
}

}  // namespace bodytool
