// The type-file opener: which file it picks, the form it reads it in, and that a binary file
// keeps its last byte while a text file's last byte ends the text.
#include <gtest/gtest.h>

#include <string>

#include "core/data_reader.h"
#include "core/memory.h"
#include "core/type_files.h"
#include "support/catalog_world.h"

namespace {

std::string Word(uint32_t value) {
  return {char(value >> 24), char((value >> 16) & 0xFF), char((value >> 8) & 0xFF), char(value & 0xFF)};
}

void Close(DataReader* reader) {
  DataReaderClose(reader);
  MemFree(reader, sizeof(DataReader), 0);
}

TEST(TypeFiles, PackedFormWinsAndKeepsItsLastByte) {
  CatalogWorld world;
  world.WriteLoose("types/Table.txt", "7; 8;\n");
  world.WriteLoose("types/Table.pck", Word(0x01020304) + Word(0x7F7F7F7F));
  DataReader* reader = OpenTypeFile("Table", nullptr, 0);
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(reader->binary, 1);
  EXPECT_EQ(ReadInt(reader), 0x01020304);
  EXPECT_EQ(ReadInt(reader), 0x7F7F7F7F);
  EXPECT_EQ(reader->error, 0);
  ReadInt(reader);
  EXPECT_EQ(reader->error, 1);
  Close(reader);
}

TEST(TypeFiles, TextFormEndsBeforeItsLastByte) {
  CatalogWorld world;
  world.WriteLoose("types/Table.txt", "7; 8;9");
  DataReader* reader = OpenTypeFile("Table", nullptr, 0);
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(reader->binary, 0);
  EXPECT_EQ(ReadInt(reader), 7);
  EXPECT_EQ(ReadInt(reader), 8);
  EXPECT_EQ(ReadInt(reader), 0);
  EXPECT_EQ(reader->error, 1) << "the last byte is not part of the text";
  Close(reader);
}

TEST(TypeFiles, MissingFileGivesNoReader) {
  CatalogWorld world;
  world.WriteLoose("Table.txt", "1;");
  EXPECT_EQ(OpenTypeFile("Table", nullptr, 0), nullptr);
  EXPECT_EQ(OpenTypeFile(nullptr, nullptr, 0), nullptr);
}

}  // namespace
