// A media backend whose decoders open any file, never end and play nowhere: for tests and fuzz
// worlds that check what the movie module keeps, not what it shows. Installed with
// SetMediaStreamBackend; the record lives for the whole process.
#pragma once

#include "devices/media_stream.h"

const MediaStreamBackend* SilentMediaBackend();
