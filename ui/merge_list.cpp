#include "ui/merge_list.h"

#include <utility>

QStringList MergeList::paths() const {
    QStringList paths;
    for (const MergeListRow& row : rows_)
        paths.append(row.path);
    return paths;
}

bool MergeList::append(MergeListRow row) {
    if (isFull())
        return false;
    rows_.append(std::move(row));
    return true;
}

bool MergeList::swap(int first, int second) {
    if (first < 0 || second < 0 || first >= size() || second >= size())
        return false;
    std::swap(rows_[first], rows_[second]);
    return true;
}

void MergeList::remove(int row) {
    if (row >= 0 && row < size())
        rows_.remove(row);
}
