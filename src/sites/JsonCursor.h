// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

namespace diarytrawl::sites {

// Reads JSON text (RFC 8259) one value at a time, building nothing it is not asked for, so that a page's
// script data of any size costs no more than the text itself. Past maxDepth nested objects and arrays,
// or at anything that is not JSON, it fails for good: every question after that gets no answer.
class JsonCursor {
public:
    enum class Kind { Object, Array, String, Number, Literal, None };

    JsonCursor(QByteArrayView text, int maxDepth);

    bool failed() const { return m_failed; }
    // What the next value is; None at the end or after a failure.
    Kind peek();

    // An object's members: enterObject, then nextKey until it gives nothing (the object has ended),
    // each key followed by its value, read or skipped.
    bool enterObject();
    std::optional<QString> nextKey();
    // An array's elements: enterArray, then moreElements before each one until it says no.
    bool enterArray();
    bool moreElements();

    std::optional<QByteArray> string(); // as UTF-8
    std::optional<double> number();
    // A number, a string of digits, true (1) or false (0).
    std::optional<qint64> integer();
    void skip();

    // Where the value that starts at from ends (just past it), or -1.
    static qsizetype valueEnd(QByteArrayView text, qsizetype from, int maxDepth);

private:
    void spaces();
    bool take(char c);
    void fail() { m_failed = true; }
    bool open(char c);

    QByteArrayView m_text;
    qsizetype m_at = 0;
    int m_depth = 0;
    int m_maxDepth;
    bool m_failed = false;
    bool m_first = false; // the object or array just entered has had no member yet
};

} // namespace diarytrawl::sites
