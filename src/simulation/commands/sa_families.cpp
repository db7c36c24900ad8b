// The list of `SA_` command families the dispatcher's table is built from. Each family's file
// defines its rows; add one declaration and one entry here per family.
#include "simulation/commands/sa_call.h"

extern const SACommandRow kTypeQueryCommands[91];
extern const SACommandRow kBackgroundCommands[35];

const SACommandFamily kSACommandFamilies[] = {
    MakeSACommandFamily(kTypeQueryCommands),
    MakeSACommandFamily(kBackgroundCommands),
    {nullptr, 0},
};
