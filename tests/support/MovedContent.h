#pragma once
// The program's moved content of a written file changed as a faulty writer
// would have left it, for the tests of the checks that must find it. Words
// shifted along their line in place have no moved content of their own:
// there what follows the typed words is changed (the shifted words, and
// what the page draws after them).

#include "QpdfFile.h"

#define POINTERHOLDER_TRANSITION 4
#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <QByteArray>
#include <QPointF>
#include <QRegularExpression>
#include <QString>

#include <cmath>
#include <functional>

namespace fixtures {

using ContentEdit = std::function<QByteArray(const QByteArray&)>;

// Where content's moved part starts: its marked section, or, for words
// shifted in place, the end of the last section the program typed.
inline qsizetype movedStart(const QByteArray& content)
{
    const qsizetype moved = content.indexOf("/VornMoved");
    if (moved >= 0)
        return moved;
    const qsizetype typed = content.lastIndexOf("/VornInPlace");
    if (typed < 0)
        return -1;
    const qsizetype closed = content.indexOf("EMC EMC Q", typed);
    return closed < 0 ? -1 : closed + 9;
}

// bytes, rewritten by qpdf, with each content stream of page pageIndex that
// holds the program's moved content given to edit; bytes as they were
// where they cannot be read.
inline QByteArray movedContentEdited(const QByteArray& bytes, int pageIndex, const ContentEdit& edit)
{
    pdfengine::QpdfFile file;
    QByteArray written;
    const auto change = [&](QPDF& pdf) {
        for (QPDFObjectHandle stream : QPDFPageObjectHelper(pdf.getAllPages().at(size_t(pageIndex))).getPageContents()) {
            const std::shared_ptr<Buffer> data = stream.getStreamData();
            const QByteArray content(reinterpret_cast<const char*>(data->getBuffer()), qsizetype(data->getSize()));
            if (movedStart(content) >= 0)
                stream.replaceStreamData(edit(content).toStdString(), QPDFObjectHandle::newNull(),
                                         QPDFObjectHandle::newNull());
        }
    };
    return file.load(bytes, nullptr) && file.run(change, nullptr) && file.write(&written, {}, nullptr) ? written
                                                                                                          : bytes;
}

// The moved text drawn in render mode 3: it reads, but shows nothing.
inline QByteArray drawnInvisibly(const QByteArray& content)
{
    static const QRegularExpression mode(QStringLiteral("\\b[0-7] Tr\\b"));
    static const QRegularExpression begin(QStringLiteral("\\bBT\\b"));
    return QString::fromLatin1(content).replace(mode, QStringLiteral("3 Tr")).replace(begin, QStringLiteral("BT 3 Tr")).toLatin1();
}

// The moved content's marked span taken out: nothing stands where it went.
inline QByteArray leftOut(const QByteArray& content)
{
    const qsizetype start = content.indexOf("/VornMoved BMC");
    const qsizetype end = content.lastIndexOf("EMC");
    return start < 0 || end < start ? content : content.left(start) + content.mid(end + 3);
}

// The moved text's faces named face, or otherwise where they are face
// already: its words drawn in another face of the page.
inline ContentEdit setInAnotherFace(const QByteArray& face, const QByteArray& otherwise)
{
    return [=](const QByteArray& content) {
        static const QRegularExpression named(QStringLiteral("/[A-Za-z0-9_.+-]+(\\s+[-0-9.]+\\s+Tf)"));
        const qsizetype from = movedStart(content);
        QString text = QString::fromLatin1(content.mid(from));
        QString result;
        qsizetype at = 0;
        for (auto it = named.globalMatch(text); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            const QString name = m.captured().section(QRegularExpression(QStringLiteral("\\s")), 0, 0);
            result += text.mid(at, m.capturedStart() - at) +
                      QString::fromLatin1(name == QLatin1String(face) ? otherwise : face) + m.captured(1);
            at = m.capturedEnd();
        }
        return content.left(from) + (result + text.mid(at)).toLatin1();
    };
}

// The moved text drawn with one text state operator given value wherever
// it sets it (an outline for "Tr" "1", a rise for "Ts" "2").
inline ContentEdit withTextState(const QByteArray& op, const QByteArray& value)
{
    return [=](const QByteArray& content) {
        const QRegularExpression set(QStringLiteral("(^|\\s)[-0-9.]+ %1\\b").arg(QLatin1String(op)));
        const qsizetype from = movedStart(content);
        QString rest = QString::fromLatin1(content.mid(from));
        if (rest.contains(set))
            return content.left(from) +
                   rest.replace(set, QStringLiteral("\\1%1 %2").arg(QLatin1String(value), QLatin1String(op))).toLatin1();
        // Words shifted in place set no such state of their own: it is set
        // for the rest of their line, after the steps that lead back to it,
        // up to the step to another line.
        static const QRegularExpression replay(QStringLiteral("^\\s*BT(\\s+[-0-9.]+\\s+[-0-9.]+\\s+Td)*"));
        static const QRegularExpression step(QStringLiteral("\\s[-0-9.]+\\s+([-0-9.]+)\\s+T[dD]\\b|\\sT\\*|\\sTm\\b|\\sET\\b"));
        const QRegularExpressionMatch back = replay.match(rest);
        if (!back.hasMatch())
            return content;
        qsizetype end = rest.size();
        for (auto it = step.globalMatch(rest, back.capturedEnd()); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            if (m.captured(1).isEmpty() || std::abs(m.captured(1).toDouble()) > 1) {
                end = m.capturedStart();
                break;
            }
        }
        const QString given = QStringLiteral(" %1 %2 ").arg(QLatin1String(value), QLatin1String(op));
        const QString reset = QStringLiteral(" 0 %1 ").arg(QLatin1String(op));
        rest.insert(end, reset);
        rest.insert(back.capturedEnd(), given);
        return content.left(from) + rest.toLatin1();
    };
}

// Everything the moved content draws under matrix first (six numbers, as content writes them).
inline ContentEdit drawnUnder(const QByteArray& matrix)
{
    return [matrix](const QByteArray& content) {
        QByteArray changed = content;
        const qsizetype at = changed.indexOf("/VornMoved BMC");
        if (at >= 0)
            return changed.insert(at + 14, "\n" + matrix + " cm");
        const qsizetype from = movedStart(changed);
        return from < 0 ? changed : changed.insert(from, "\n" + matrix + " cm");
    };
}

}  // namespace fixtures
