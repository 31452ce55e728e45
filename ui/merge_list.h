// The merge list: the recordings to join, in the order wanted. It lives in
// the window, not in targetTable, so a page rebuild cannot lose a row or the
// directory a row came from; the table only shows it.
#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

struct MergeListRow {
    QString path;  // the recording's full path, whichever directory it came from
    QString name;
    QString durationText;
    QString sizeText;
};

class MergeList {
  public:
    // The merger joins at most this many recordings, and needs at least two.
    static constexpr int kMaxRows = 20;
    static constexpr int kMinRows = 2;

    int size() const { return static_cast<int>(rows_.size()); }
    bool isFull() const { return size() >= kMaxRows; }
    bool canMerge() const { return size() >= kMinRows; }
    const MergeListRow& at(int row) const { return rows_.at(row); }
    const QVector<MergeListRow>& rows() const { return rows_; }
    // The full paths in merge order: what a merge is given.
    QStringList paths() const;

    // False when the list is full.
    bool append(MergeListRow row);
    // Exchanges two rows; false when either is outside the list.
    bool swap(int first, int second);
    void remove(int row);
    void clear() { rows_.clear(); }

  private:
    QVector<MergeListRow> rows_;
};
