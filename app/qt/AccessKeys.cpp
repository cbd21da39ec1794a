#include "app/qt/AccessKeys.h"

#include <QSet>

namespace kartivo::qt {

namespace {

// The position of the letter that carries the access key, or -1.
qsizetype AccessKeyPosition(const QString& caption, const QSet<QChar>& taken) {
    // Only letters a keyboard types directly can serve.
    const auto isFree = [&](qsizetype i) {
        return caption[i].unicode() < 128 && caption[i].isLetter() && !taken.contains(caption[i].toLower());
    };
    for (qsizetype i = 0; i < caption.size(); ++i) {
        const bool wordStart = i == 0 || !caption[i - 1].isLetterOrNumber();
        if (wordStart && isFree(i)) return i;
    }
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (isFree(i)) return i;
    }
    return -1;
}

}  // namespace

QStringList WithAccessKeys(const QStringList& captions) {
    QStringList result;
    QSet<QChar> taken;
    for (const QString& caption : captions) {
        const qsizetype at = caption == "-" ? -1 : AccessKeyPosition(caption, taken);
        QString shown;
        for (qsizetype i = 0; i < caption.size(); ++i) {
            if (i == at) shown += '&';
            shown += caption[i];
            if (caption[i] == '&') shown += '&';
        }
        if (at >= 0) taken.insert(caption[at].toLower());
        result << shown;
    }
    return result;
}

}  // namespace kartivo::qt
