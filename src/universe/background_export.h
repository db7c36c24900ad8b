// The background type table written back as a "TBackgrounds" type file (the scripts'
// SA_SaveBackgroundTypes): text form, file version 25, one line per type. Called by the
// application natives. It only reads the type table, and never leaves a half-written file in
// place of an earlier good one.
#pragma once

// True when the whole file was written and put in place; false leaves any earlier file as it was.
bool WriteBackgrounds();
