// Finding a window's controls by the names the help and the tests know them
// by, so that tests reach a page through its widgets, not its members.
#pragma once

#include <gtest/gtest.h>

#include <QListWidget>
#include <QObject>
#include <QPushButton>
#include <QString>

namespace kbtest {

// The child of `parent` named `name`, of type T; a failed expectation (and
// null) when there is none.
template <typename T>
T* Child(const QObject& parent, const char* name) {
    T* c = parent.findChild<T*>(QString::fromUtf8(name));
    EXPECT_NE(c, nullptr) << "no " << name;
    return c;
}

inline QPushButton* Button(const QObject& parent, const char* name) {
    return Child<QPushButton>(parent, name);
}
inline QListWidget* List(const QObject& parent, const char* name) {
    return Child<QListWidget>(parent, name);
}

}  // namespace kbtest
