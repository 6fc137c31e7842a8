// Paths, numbers and versions inside a sentence of the user's language: kept
// left to right, also within a right-to-left sentence.
#pragma once
#include <QString>

// Text between LEFT-TO-RIGHT ISOLATE (U+2066) and POP DIRECTIONAL ISOLATE (U+2069).
QString LeftToRight(const QString& text);
QString LeftToRight(int number);
