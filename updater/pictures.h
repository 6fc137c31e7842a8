// The update program's pictures, compiled into the program as Qt resources.
// Needs a QGuiApplication.
#pragma once

#include <QPixmap>

inline constexpr int kDevicePictureCount = 12;  // picture numbers 1..12
inline constexpr int kDevicePictureSize = 223;
inline constexpr int kLanguageFlagCount = 24;   // language indices 0..23
inline constexpr int kLanguageFlagSize = 20;

// Device picture number n (1-based: picture n is image n-1 of the main window's picture list),
// 223 x 223:
//   1 Radio Master, 2 Radio-Port, 3 Relay-Port, 4 Desk-Port, 5 Field-Port, 6 no device,
//   7 Speed of Light Meter, 8 Universal Counter, 9 Timer 6-2, 10 Digital Function Generator,
//   11 XG 7.1, 12 Starter-Port.
// A null pixmap for any other n.
QPixmap DevicePicture(int n);

// Flag of language index k (0..23, the order of the language list: 0 German, 1 English,
// 2 Spanish, 3 Russian, 4 Polish, 5 Arabic, 6 French, 7 Portuguese, 8 Dutch, 9 Romanian,
// 10 Bulgarian, 11 Czech, 12 Croatian, 13 Ukrainian, 14 Hungarian, 15 Lithuanian,
// 16 Latvian, 17 Kazakh, 18 Italian, 19 Swedish, 20 Greek, 21 Turkish, 22 Vietnamese,
// 23 Korean), 20 x 20: the flag fills rows 2..16, the rows above and below are
// transparent. No pixel has the list's transparent grey 0x808080. Null for any other k.
QPixmap LanguageFlag(int k);

// Logo of the bottom bar, 150 x 40, transparent background.
QPixmap LogoPicture();

// Warning sign of the notice window, 64 x 64, transparent background.
QPixmap WarningPicture();
