// Scene membership and the instance tree: freeing an instance with its subtree. Least form until
// the membership code is built (instance_tree_stub.cpp).
#pragma once

struct InstanceRecord;

// Frees the instance and every descendant: each leaves its list, its handle and its name go.
void FreeInstance(InstanceRecord* instance);
