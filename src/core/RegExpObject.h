// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>

#include <functional>
#include <memory>

namespace diarytrawl {

struct RegExpMatch {
    QString Value;            // the matched text
    qsizetype FirstIndex = 0; // UTF-16 units in front of the match
    qsizetype length = 0;     // UTF-16 units matched
};

// The regular-expression object: ECMAScript syntax, matched over QString text so that every position
// counts UTF-16 units like the rest of the program. Set the three properties, then ask Test or Execute.
// ECMAScript is read with its web-compatibility grammar ("\1" without a group is an octal escape, "\8"
// the digit, "]" and a lone "{" literal). A pattern the engine rejects is accepted here and fails
// (PlatformError, with the engine's number, or ErrorNumber::RegExpSyntax for syntax ECMAScript refuses
// and the engine would take) only when a question is asked; a match that costs too much fails with
// ErrorNumber::TooCostly. Not for use from two threads at once.
class RegExpObject {
public:
    RegExpObject();
    ~RegExpObject();
    RegExpObject(const RegExpObject &) = delete;
    RegExpObject &operator=(const RegExpObject &) = delete;

    QString Pattern;
    bool IgnoreCase = false;
    bool Global = false;

    bool Test(const QString &text) const;
    QList<RegExpMatch> Execute(const QString &text) const;

    // Execute without building the collection: visit(firstIndex, length) for each match in order, as
    // Global allows, until it returns false.
    using MatchVisitor = std::function<bool(qsizetype firstIndex, qsizetype length)>;
    void forEachMatch(const QString &text, const MatchVisitor &visit) const;

private:
    struct Engine;
    const Engine &engine() const;

    mutable std::unique_ptr<Engine> m_engine;
};

} // namespace diarytrawl
