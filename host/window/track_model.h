// The track list's model: a flat table over the core's TrackTable, which keeps the rows, the
// filter, the order and the selection once. The model holds nothing of its own; it answers the
// view for the rows it draws (names, lengths and formats as texts, the #N of the container's
// order as a tooltip; the table reads a row's length and format when it is first asked) and is
// reset when the core says the shown rows changed.
#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <functional>
#include <string>

#include "host/tracks/track_table.h"

namespace fogbell::window {

// A row's name as the plug-in gave it (bytes), in the name column.
inline constexpr int kNameRole = Qt::UserRole;

// The MIME type of a drag's track names, one per line (tracks dragged inside the program).
inline constexpr const char* kTrackNamesMime = "application/x-fogbell-tracks";

class TrackModel : public QAbstractTableModel {
    Q_OBJECT

  public:
    // toText shows bytes (names) as the window shows them.
    TrackModel(const TrackTable& table, std::function<QString(const std::string&)> toText,
               QObject* parent = nullptr);

    // The core's shown rows changed as a whole (a new list, a filter, an order).
    void Refresh();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

  private:
    const TrackTable& table_;
    std::function<QString(const std::string&)> toText_;
};

}  // namespace fogbell::window
