// SPDX-License-Identifier: GPL-3.0-or-later
#include "StoredDocument.h"

#include <QDataStream>
#include <QIODevice>

namespace diarytrawl::web {

namespace {

constexpr qint32 MaxCount = 10'000'000; // far past what a page of 64 MB can hold

QDataStream &operator<<(QDataStream &out, const LoadOutcome &outcome)
{
    return out << qint32(outcome.failure) << outcome.reason << qint32(outcome.status) << outcome.transient
               << qint32(outcome.retryAfterSeconds);
}

QDataStream &operator>>(QDataStream &in, LoadOutcome &outcome)
{
    qint32 failure = 0, status = 0, retryAfter = -1;
    in >> failure >> outcome.reason >> status >> outcome.transient >> retryAfter;
    if (failure < 0 || failure > qint32(LoadFailure::Comments))
        in.setStatus(QDataStream::ReadCorruptData);
    outcome.failure = LoadFailure(failure);
    outcome.status = status;
    outcome.retryAfterSeconds = retryAfter;
    return in;
}

QDataStream &operator<<(QDataStream &out, const HtmlForm &form)
{
    out << form.action << form.method << qint32(form.fields.size());
    for (const HtmlFormField &field : form.fields)
        out << field.name << field.value << field.type << field.checked;
    return out;
}

QDataStream &operator<<(QDataStream &out, const PageComment &comment)
{
    return out << qint64(comment.thread) << comment.author << comment.text << comment.html << comment.address;
}

template<typename T>
void writeList(QDataStream &out, const QList<T> &list)
{
    out << qint32(list.size());
    for (const T &item : list)
        out << item;
}

void writeRanges(QDataStream &out, const QList<std::pair<qsizetype, qsizetype>> &ranges)
{
    out << qint32(ranges.size());
    for (const auto &[start, end] : ranges)
        out << qint64(start) << qint64(end);
}

// Reads a count, then as many items as it says while the stream stays good.
template<typename ReadOne>
void readList(QDataStream &in, ReadOne readOne)
{
    qint32 count = 0;
    in >> count;
    if (count < 0 || count > MaxCount) {
        in.setStatus(QDataStream::ReadCorruptData);
        return;
    }
    for (qint32 i = 0; i < count && in.status() == QDataStream::Ok; ++i)
        readOne();
}

void readRanges(QDataStream &in, QList<std::pair<qsizetype, qsizetype>> &ranges, qsizetype within)
{
    readList(in, [&] {
        qint64 start = 0, end = 0;
        in >> start >> end;
        if (start < 0 || start > end || end > within)
            in.setStatus(QDataStream::ReadCorruptData);
        ranges.append({start, end});
    });
}

} // namespace

QByteArray documentFacts(const HtmlDocument &document)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_4);
    out.setByteOrder(QDataStream::LittleEndian);
    out << StoredDocumentForm << qint64(document.bodyInnerText.size()) << qint64(document.htmlUtf8.size())
        << qint64(document.bodyHtmlStart) << qint64(document.bodyHtmlEnd - document.bodyHtmlStart)
        << document.outcome;
    writeList(out, document.links);
    writeList(out, document.forms);
    const PageComments &comments = document.comments;
    writeList(out, comments.comments);
    writeList(out, comments.morePages);
    writeList(out, comments.collapsed);
    writeRanges(out, comments.textRanges);
    writeRanges(out, comments.htmlRanges);
    out << comments.problem;
    return bytes;
}

bool readDocumentFacts(QByteArrayView bytes, HtmlDocument &document, DocumentFacts &facts)
{
    const QByteArray data = QByteArray::fromRawData(bytes.data(), bytes.size());
    QDataStream in(data);
    in.setVersion(QDataStream::Qt_6_4);
    in.setByteOrder(QDataStream::LittleEndian);
    quint32 form = 0;
    qint64 textSize = 0, htmlSize = 0, bodyStart = 0, bodySize = 0;
    in >> form >> textSize >> htmlSize >> bodyStart >> bodySize >> document.outcome;
    if (form != StoredDocumentForm || textSize < 0 || htmlSize < 0 || bodyStart < 0 || bodySize < 0)
        return false;
    facts = {textSize, htmlSize, bodyStart, bodySize};
    readList(in, [&] {
        WebAddress link;
        in >> link;
        document.links.append(std::move(link));
    });
    readList(in, [&] {
        HtmlForm htmlForm;
        qint32 fields = 0;
        in >> htmlForm.action >> htmlForm.method >> fields;
        for (qint32 i = 0; i < fields && i < MaxCount && in.status() == QDataStream::Ok; ++i) {
            HtmlFormField field;
            in >> field.name >> field.value >> field.type >> field.checked;
            htmlForm.fields.append(std::move(field));
        }
        document.forms.append(std::move(htmlForm));
    });
    PageComments &comments = document.comments;
    readList(in, [&] {
        PageComment comment;
        qint64 thread = 0;
        in >> thread >> comment.author >> comment.text >> comment.html >> comment.address;
        comment.thread = thread;
        comments.comments.append(std::move(comment));
    });
    for (QList<WebAddress> *addresses : {&comments.morePages, &comments.collapsed})
        readList(in, [&] {
            WebAddress address;
            in >> address;
            addresses->append(std::move(address));
        });
    readRanges(in, comments.textRanges, qsizetype(textSize));
    readRanges(in, comments.htmlRanges, qsizetype(bodySize));
    in >> comments.problem;
    return in.status() == QDataStream::Ok && in.atEnd();
}

} // namespace diarytrawl::web
