#pragma once

#include <cstddef>
#include <vector>

// The root of `node` in a forest of parent links, a root being its own parent. The path is
// halved on the way, so that later look-ups are short.
inline int rootOf(std::vector<int>& parent, int node)
{
    while (parent[static_cast<size_t>(node)] != node) {
        parent[static_cast<size_t>(node)] =
            parent[static_cast<size_t>(parent[static_cast<size_t>(node)])];
        node = parent[static_cast<size_t>(node)];
    }
    return node;
}
