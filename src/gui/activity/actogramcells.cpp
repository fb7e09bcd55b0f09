#include "actogramcells.h"

#include <algorithm>

namespace
{

int levelOf(int count, int maxCount)
{
    if (count <= 0)
        return 0;
    for (int level = actogramLevels; level > 1; --level) {
        if (count >= levelStart(level, maxCount))
            return level;
    }
    return 1;
}

} // namespace

int levelStart(int level, int maxCount)
{
    return 1 + int(qint64(std::max(level - 1, 0)) * std::max(maxCount, 0) / actogramLevels);
}

Actogram actogramOf(const ActivityTable& table, bool doublePlotted)
{
    Actogram gram;
    const int perDay = table.binsPerDay();
    gram.rows = table.days();
    gram.columns = perDay * (doublePlotted ? 2 : 1);
    for (const ActivityBin& bin : table.bins)
        gram.maxCount = std::max(gram.maxCount, bin.events());
    for (int row = 0; row < gram.rows; ++row) {
        for (int column = 0; column < gram.columns; ++column) {
            const int bin = row * perDay + column;
            if (bin >= table.bins.size() || !table.bins.at(bin).recorded())
                continue;
            const int count = table.bins.at(bin).events();
            gram.cells.append({row, column, bin, count, levelOf(count, gram.maxCount)});
        }
    }
    return gram;
}
