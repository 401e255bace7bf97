#pragma once

#include <QTest>

namespace mosscatch {

// Declares a data table's columns and returns a function adding one named row,
// each value converted to its column's type.
template<typename... T, typename... Names> auto columns(const Names &...names)
{
    (QTest::addColumn<T>(names), ...);
    return [](const char *name, const T &...values) { (QTest::newRow(name) << ... << values); };
}

}
