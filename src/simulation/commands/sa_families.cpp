// The list of `SA_` command families the dispatcher's table is built from. Each family's file
// defines its rows; add one declaration and one entry here per family.
#include "simulation/commands/sa_call.h"

extern const SACommandRow kObjectLifeCommands[9];
extern const SACommandRow kOrderCommands[25];
extern const SACommandRow kObjectStateCommands[58];
extern const SACommandRow kContainerCommands[7];
extern const SACommandRow kFlagCommands[31];
extern const SACommandRow kCombatCommands[32];
extern const SACommandRow kTypeQueryCommands[91];
extern const SACommandRow kBackgroundCommands[35];
extern const SACommandRow kVideoRewardCommands[9];
extern const SACommandRow kPlayerCommands[10];
extern const SACommandRow kCutCommands[24];
extern const SACommandRow kPlacementCommands[36];

const SACommandFamily kSACommandFamilies[] = {
    MakeSACommandFamily(kObjectLifeCommands),
    MakeSACommandFamily(kOrderCommands),
    MakeSACommandFamily(kObjectStateCommands),
    MakeSACommandFamily(kContainerCommands),
    MakeSACommandFamily(kFlagCommands),
    MakeSACommandFamily(kCombatCommands),
    MakeSACommandFamily(kTypeQueryCommands),
    MakeSACommandFamily(kBackgroundCommands),
    MakeSACommandFamily(kVideoRewardCommands),
    MakeSACommandFamily(kPlayerCommands),
    MakeSACommandFamily(kCutCommands),
    MakeSACommandFamily(kPlacementCommands),
    {nullptr, 0},
};
