#pragma once

#include <QTest>

#include <tuple>

namespace ferrodock::test {

// Declares a data table's columns: their types in order, then their names.
template <typename... Types, typename... Names>
void columns(const Names&... names) {
    (QTest::addColumn<Types>(names), ...);
}

// One data row of columns whose types the values give.
template <typename... Values>
void row(const char* name, const Values&... values) {
    (QTest::newRow(name) << ... << values);
}

// The current row's values of the named columns, as QFETCH gives them.
template <typename... Types, typename... Names>
std::tuple<Types...> fetch(const Names&... names) {
    return {*static_cast<Types*>(QTest::qData(names, qMetaTypeId<Types>()))...};
}

}  // namespace ferrodock::test
