#include "ListViewModel.h"

#include <stdexcept>

namespace qb {

ListViewModel::ListViewModel(QObject* parent) : QAbstractTableModel(parent) {}

void ListViewModel::addColumn(const QString& text, int widthTwips) {
    const int c = static_cast<int>(columns_.size());
    beginInsertColumns({}, c, c);
    columns_.push_back({text, widthTwips});
    endInsertColumns();
}

int ListViewModel::columnWidthTwips(int column) const {
    if (column < 0 || column >= static_cast<int>(columns_.size())) throw std::out_of_range("Index out of bounds");
    return columns_[static_cast<std::size_t>(column)].widthTwips;
}

void ListViewModel::setCheckboxes(bool on) {
    if (on == checkboxes_) return;
    checkboxes_ = on;
    if (!items_.empty()) emit dataChanged(index(0, 0), index(count() - 1, 0), {Qt::CheckStateRole});
}

int ListViewModel::add(const QString& text) {
    const int row = count();
    beginInsertRows({}, row, row);
    items_.push_back(Item{text, nullptr, false});
    endInsertRows();
    return row + 1;
}

void ListViewModel::append(std::vector<QString> texts) {
    if (texts.empty()) return;
    const int first = count();
    beginInsertRows({}, first, first + static_cast<int>(texts.size()) - 1);
    items_.reserve(items_.size() + texts.size());
    for (QString& t : texts) items_.push_back(Item{std::move(t), nullptr, false});
    endInsertRows();
}

void ListViewModel::append(QStringList texts) { append(std::vector<QString>(texts.begin(), texts.end())); }

void ListViewModel::clear() {
    if (items_.empty()) return;
    beginResetModel();
    std::vector<Item>().swap(items_);
    endResetModel();
}

ListViewModel::Item& ListViewModel::at(int item) {
    if (item < 1 || item > count()) throw std::out_of_range("Index out of bounds");
    return items_[static_cast<std::size_t>(item - 1)];
}

const ListViewModel::Item& ListViewModel::at(int item) const {
    if (item < 1 || item > count()) throw std::out_of_range("Index out of bounds");
    return items_[static_cast<std::size_t>(item - 1)];
}

void ListViewModel::checkSub(int sub) {
    if (sub < 1 || sub > 3) throw std::out_of_range("Index out of bounds");
}

QString ListViewModel::text(int item) const { return at(item).text; }

void ListViewModel::setText(int item, const QString& text) {
    at(item).text = text;
    const QModelIndex i = index(item - 1, 0);
    emit dataChanged(i, i, {Qt::DisplayRole});
}

QString ListViewModel::subItem(int item, int sub) const {
    checkSub(sub);
    const Item& it = at(item);
    return it.sub ? (*it.sub)[static_cast<std::size_t>(sub - 1)] : QString();
}

void ListViewModel::setSubItem(int item, int sub, const QString& text) {
    checkSub(sub);
    Item& it = at(item);
    if (!it.sub) it.sub = std::make_unique<std::array<QString, 3>>();
    (*it.sub)[static_cast<std::size_t>(sub - 1)] = text;
    if (sub < columnCount()) {
        const QModelIndex i = index(item - 1, sub);
        emit dataChanged(i, i, {Qt::DisplayRole});
    }
}

bool ListViewModel::checked(int item) const { return at(item).checked; }

void ListViewModel::setChecked(int item, bool on) {
    at(item).checked = on;
    const QModelIndex i = index(item - 1, 0);
    emit dataChanged(i, i, {Qt::CheckStateRole});
}

int ListViewModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : count(); }

int ListViewModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant ListViewModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= count()) return {};
    const Item& it = items_[static_cast<std::size_t>(index.row())];
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        if (column == 0) return it.text;
        if (column <= 3 && it.sub) return (*it.sub)[static_cast<std::size_t>(column - 1)];
        return QString();
    case Qt::CheckStateRole:
        if (checkboxes_ && column == 0) return it.checked ? Qt::Checked : Qt::Unchecked;
        return {};
    case Qt::ToolTipRole:
        return toolTip_.isEmpty() ? QVariant() : QVariant(toolTip_);
    default:
        return {};
    }
}

bool ListViewModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || index.row() >= count() || index.column() != 0) return false;
    if (role != Qt::CheckStateRole || !checkboxes_) return false;
    setChecked(index.row() + 1, value.toInt() == Qt::Checked);
    return true;
}

Qt::ItemFlags ListViewModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (checkboxes_ && index.column() == 0) f |= Qt::ItemIsUserCheckable;
    return f;
}

QVariant ListViewModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= static_cast<int>(columns_.size())) return {};
    if (role == Qt::DisplayRole) return columns_[static_cast<std::size_t>(section)].text;
    return {};
}

std::unique_ptr<ListViewModel> createStatementList() {
    auto m = std::make_unique<ListViewModel>();
    m->addColumn(QStringLiteral("SQL Preview"), 7000);
    m->setCheckboxes(true);
    return m;
}

std::unique_ptr<ListViewModel> createDatatypeList() {
    auto m = std::make_unique<ListViewModel>();
    for (const char* title : {"MS Access Table", "MS Access Table Field", "MS Access Field Datatype", "New SQLite Datatype"})
        m->addColumn(QString::fromLatin1(title), 1700);
    return m;
}

}  // namespace qb
