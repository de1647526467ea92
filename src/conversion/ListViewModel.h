#pragma once
// The report-style lists the conversion fills and the preview windows show:
// column headers, and 1-based items with a text, three sub-item texts and a
// checked state. A list may hold a whole table's statements (hundreds of
// thousands of items), so an item is a plain value, not an object.

#include <QAbstractTableModel>
#include <QString>
#include <QStringList>
#include <array>
#include <memory>
#include <vector>

namespace qb {

class ListViewModel : public QAbstractTableModel {
    Q_OBJECT
public:
    struct Column {
        QString text;
        int widthTwips = 0;
    };

    explicit ListViewModel(QObject* parent = nullptr);

    // Column headers.
    void addColumn(const QString& text, int widthTwips);
    const std::vector<Column>& columns() const { return columns_; }
    int columnWidthTwips(int column) const;  // zero-based

    // With checkboxes the first column carries Qt::CheckStateRole and the
    // user can tick items.
    void setCheckboxes(bool on);
    bool checkboxes() const { return checkboxes_; }

    void setToolTip(const QString& text) { toolTip_ = text; }
    const QString& toolTip() const { return toolTip_; }

    // Items, numbered from 1. Numbers outside 1 to count() throw
    // std::out_of_range("Index out of bounds"), as do sub-item numbers
    // outside 1 to 3.
    int count() const { return static_cast<int>(items_.size()); }
    // Appends an item; its number is the new count.
    int add(const QString& text);
    // Appends many items with one insertion notice.
    void append(QStringList texts);
    void append(std::vector<QString> texts);
    void clear();
    QString text(int item) const;
    void setText(int item, const QString& text);
    QString subItem(int item, int sub) const;
    void setSubItem(int item, int sub, const QString& text);
    bool checked(int item) const;
    void setChecked(int item, bool on);

    // QAbstractItemModel
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    struct Item {
        QString text;
        // Most lists never set sub-items; they cost one pointer until used.
        std::unique_ptr<std::array<QString, 3>> sub;
        bool checked = false;
    };
    Item& at(int item);
    const Item& at(int item) const;
    static void checkSub(int sub);

    std::vector<Column> columns_;
    std::vector<Item> items_;
    bool checkboxes_ = false;
    QString toolTip_;
};

// The statement list of the SQL Preview window: one column "SQL Preview" of
// 7000 twips, items checkable.
std::unique_ptr<ListViewModel> createStatementList();
// The datatype list of the Datatypes Conversion window: four columns of 1700
// twips for table, field, matched keyword and SQLite type.
std::unique_ptr<ListViewModel> createDatatypeList();

}  // namespace qb
