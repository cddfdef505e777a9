#include "host/window/track_model.h"

#include <QByteArray>
#include <array>

namespace fogbell::window {
namespace {

constexpr std::array<const char*, 4> kTitles{"File Name", "Length", "Bitrate", "Time"};

}  // namespace

TrackModel::TrackModel(const TrackTable& table, std::function<QString(const std::string&)> toText,
                       QObject* parent)
    : QAbstractTableModel(parent), table_(table), toText_(std::move(toText)) {}

void TrackModel::Refresh() {
    beginResetModel();
    endResetModel();
}

int TrackModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(table_.ShownCount());
}

int TrackModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(kTitles.size());
}

QVariant TrackModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || static_cast<std::size_t>(index.row()) >= table_.ShownCount()) {
        return {};
    }
    const auto shownRow = static_cast<std::size_t>(index.row());
    switch (role) {
        case Qt::DisplayRole:
            // A row's length and format are read here when it is first drawn.
            if (index.column() < 0 || index.column() >= static_cast<int>(kTitles.size())) {
                return {};
            }
            return toText_(table_.CellText(shownRow, index.column()));
        case Qt::ToolTipRole:
            // The row's place in the container, as the command line names it.
            return QString("#%1").arg(table_.ContainerRow(shownRow) + 1);
        case kNameRole: {
            const std::string_view name = table_.ShownName(shownRow);
            return QByteArray(name.data(), static_cast<qsizetype>(name.size()));
        }
        default:
            return {};
    }
}

QVariant TrackModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 ||
        section >= static_cast<int>(kTitles.size())) {
        return {};
    }
    if (role == Qt::DisplayRole) {
        return QString(kTitles[static_cast<std::size_t>(section)]);
    }
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    }
    return {};
}

Qt::ItemFlags TrackModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled |
           Qt::ItemNeverHasChildren;
}

}  // namespace fogbell::window
