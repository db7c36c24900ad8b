// Small universe descriptions: every element layout the import builds, groups in docks and ships,
// and a deep nesting. Shared by the universe import tests and the import's fuzz seeds.
#pragma once

inline constexpr const char* kUniverseXmlFixtures[] = {
    "<universe><sector t='1' x='3' y='4' f='7'><o t='2' neb='1' stars='2'/><sun t='3' color='66051'/>"
    "<planet t='4' color='9' fn='2'/><o t='24' s='5' e='9'/><o t='26' s='1' e='text'/></sector></universe>",
    "<universe><sector t='1'><dock t='5' g='3'><o t='23' s='3'><ware t='9'/><ware t='8' index='2'/></o>"
    "<ware t='12' x='1' n='0'/></dock><ship t='7' id='4'><o t='23' s='1'><ware t='10'/></o></ship>"
    "<gate t='18' gid='2' gx='1' gy='0'/><asteroid t='17' atype='1' aamount='30'/><debris t='28'/>"
    "<special t='20' v='6'/><o t='21' size='100' outer='50'/></sector></universe>",
    "<o t='23' s='11'><o t='23' s='11'><o t='23' s='11'><o t='23' s='2'/></o></o></o>",
};
