#include "pictures.h"

#include <QString>

namespace {

QPixmap Resource(const QString& name) { return QPixmap(QStringLiteral(":/kavrel/images/") + name); }

}  // namespace

QPixmap DevicePicture(int n) {
  if (n < 1 || n > kDevicePictureCount) {
    return {};
  }
  return Resource(QStringLiteral("device%1.png").arg(n));
}

QPixmap LanguageFlag(int k) {
  if (k < 0 || k >= kLanguageFlagCount) {
    return {};
  }
  return Resource(QStringLiteral("flag%1.png").arg(k));
}

QPixmap LogoPicture() { return Resource(QStringLiteral("logo.png")); }

QPixmap WarningPicture() { return Resource(QStringLiteral("warning.png")); }
