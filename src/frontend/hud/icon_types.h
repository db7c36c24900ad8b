// The icon type table's loader: the type file "icontypes" read into the GUI master's 32 class
// rows. Least form until it is built (icon_types_stub.cpp).
#pragma once

struct IconTypeRow;

// Clears the 32 rows, then fills them from "icontypes"; false when the file is missing or bad.
bool LoadIconTypes(IconTypeRow* rows);
