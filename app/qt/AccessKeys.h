#pragma once
// Access keys in Qt's convention ("&File" opens with Alt+F) for captions whose words stay as
// the window model has them.

#include <QStringList>

namespace kartivo::qt {

// Each caption with an "&" before the first letter that starts one of its words and is not
// yet taken by an earlier caption of the list (case ignored), or before its first free letter
// when no word start is free; "&" already in a caption is doubled so it shows as itself. A
// caption without a free letter, or "-" (a separator), gets no access key.
QStringList WithAccessKeys(const QStringList& captions);

}  // namespace kartivo::qt
