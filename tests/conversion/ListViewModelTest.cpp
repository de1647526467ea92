#include "conversion/ListViewModel.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

namespace {

void expectOutOfBounds(const std::function<void()>& f) {
    try {
        f();
        ADD_FAILURE() << "no error";
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "Index out of bounds");
    }
}

TEST(ListViewModel, ItemsAreNumberedFromOneInOrder) {
    auto m = qb::createDatatypeList();
    EXPECT_EQ(m->add("Orders"), 1);
    EXPECT_EQ(m->add("Customers"), 2);
    m->setSubItem(m->count(), 1, "Name");
    m->setSubItem(2, 3, "TEXT");
    m->setText(1, "Orders2");
    EXPECT_EQ(m->count(), 2);
    EXPECT_EQ(m->text(1), "Orders2");
    EXPECT_EQ(m->subItem(2, 1), "Name");
    EXPECT_EQ(m->subItem(2, 2), "");
    EXPECT_EQ(m->subItem(1, 3), "");
    EXPECT_EQ(m->data(m->index(1, 3)).toString(), "TEXT");
    EXPECT_EQ(m->data(m->index(0, 0)).toString(), "Orders2");
    EXPECT_FALSE(m->data(m->index(0, 0), Qt::CheckStateRole).isValid());
    m->clear();
    EXPECT_EQ(m->count(), 0);
    EXPECT_EQ(m->rowCount(), 0);
}

TEST(ListViewModel, NumbersOutsideTheListAreErrors) {
    auto m = qb::createStatementList();
    m->add("a");
    expectOutOfBounds([&] { m->text(0); });
    expectOutOfBounds([&] { m->text(2); });
    expectOutOfBounds([&] { m->setText(2, "x"); });
    expectOutOfBounds([&] { m->checked(-1); });
    expectOutOfBounds([&] { m->setSubItem(1, 4, "x"); });
    expectOutOfBounds([&] { m->subItem(1, 0); });
    m->clear();
    expectOutOfBounds([&] { m->text(1); });
}

TEST(ListViewModel, CheckedStateThroughTheModel) {
    auto m = qb::createStatementList();
    m->add("a");
    m->add("b");
    EXPECT_TRUE(m->flags(m->index(0, 0)) & Qt::ItemIsUserCheckable);
    EXPECT_EQ(m->data(m->index(1, 0), Qt::CheckStateRole).toInt(), Qt::Unchecked);
    EXPECT_TRUE(m->setData(m->index(1, 0), Qt::Checked, Qt::CheckStateRole));
    EXPECT_TRUE(m->checked(2));
    EXPECT_FALSE(m->checked(1));
    m->setChecked(2, false);
    EXPECT_EQ(m->data(m->index(1, 0), Qt::CheckStateRole).toInt(), Qt::Unchecked);

    auto d = qb::createDatatypeList();
    d->add("x");
    EXPECT_FALSE(d->flags(d->index(0, 0)) & Qt::ItemIsUserCheckable);
    EXPECT_FALSE(d->setData(d->index(0, 0), Qt::Checked, Qt::CheckStateRole));
}

TEST(ListViewModel, Headers) {
    auto s = qb::createStatementList();
    ASSERT_EQ(s->columnCount(), 1);
    EXPECT_EQ(s->headerData(0, Qt::Horizontal).toString(), "SQL Preview");
    EXPECT_EQ(s->columnWidthTwips(0), 7000);
    auto d = qb::createDatatypeList();
    const QStringList titles = {"MS Access Table", "MS Access Table Field", "MS Access Field Datatype",
                                "New SQLite Datatype"};
    ASSERT_EQ(d->columnCount(), 4);
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(d->headerData(c, Qt::Horizontal).toString(), titles[c]);
        EXPECT_EQ(d->columnWidthTwips(c), 1700);
    }
}

TEST(ListViewModel, HoldsAWholeBigTable) {
    auto m = qb::createStatementList();
    int inserted = 0;
    QObject::connect(m.get(), &QAbstractItemModel::rowsInserted, [&](const QModelIndex&, int first, int last) {
        inserted += last - first + 1;
    });
    const QString row = QStringLiteral("INSERT INTO \"Ledger\" VALUES('1', 'A', '12.5')");
    for (int i = 0; i < 200000; ++i) m->add(row);
    EXPECT_EQ(m->count(), 200000);
    EXPECT_EQ(inserted, 200000);
    EXPECT_EQ(m->text(200000), row);

    std::vector<QString> batch(200000, row);
    batch.back() = "last";
    m->append(std::move(batch));
    EXPECT_EQ(m->count(), 400000);
    EXPECT_EQ(inserted, 400000);
    EXPECT_EQ(m->text(400000), "last");
    EXPECT_EQ(m->text(200001), row);
}

}  // namespace
