// The world the body readers' tests run in: an engine state, a small material table (record 1
// red, record 2 green and alpha-blended, record 3 with a bump value), a texture table, and a body
// reader fatal end that records its code and file name and returns, so a rejected file gives null
// instead of ending the test. Also parsing a text body from a string.
#pragma once

#include <cstdint>
#include <string>

#include "render/material_table.h"
#include "scene/body_records.h"
#include "support/engine_fixture.h"

class BodyFixture {
 public:
  BodyFixture();
  ~BodyFixture();
  BodyFixture(const BodyFixture&) = delete;
  BodyFixture& operator=(const BodyFixture&) = delete;

  // The last fatal end since the fixture began (code 0 for none).
  static uint32_t fatalCode();
  static const std::string& fatalFile();
  static void ClearFatal();

  // ParseBodyText over a copy of the text.
  BodyRecord* ParseText(int32_t bodyId, const std::string& text);

  MaterialRecord materials[4] = {};
  EngineFixture engine;
};
