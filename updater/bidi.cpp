#include "bidi.h"

QString LeftToRight(const QString& text) { return QChar(0x2066) + text + QChar(0x2069); }

QString LeftToRight(int number) { return LeftToRight(QString::number(number)); }
