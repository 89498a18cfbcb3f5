// Write access to a node's tree links, for the node and tree operations only.
#pragma once

#include "store/node.h"

namespace korvo {

class TreeLinks {
  public:
    static baseDataStruct*& parent(baseDataStruct* n) { return n->parent_; }
    static baseDataStruct*& firstSon(baseDataStruct* n) { return n->firstSon_; }
    static baseDataStruct*& lastSon(baseDataStruct* n) { return n->lastSon_; }
    static baseDataStruct*& prevBrother(baseDataStruct* n) { return n->prevBrother_; }
    static baseDataStruct*& nextBrother(baseDataStruct* n) { return n->nextBrother_; }
};

}  // namespace korvo
