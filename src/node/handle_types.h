#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace velkaron {

class Node;
class Tree;

using NodeHandle = std::shared_ptr<Node>;
using NodeList = std::vector<NodeHandle>;
// Ordered by byte-wise key comparison, so iteration order is stable and documented.
using AttributeMap = std::map<std::string, std::string>;

}  // namespace velkaron
