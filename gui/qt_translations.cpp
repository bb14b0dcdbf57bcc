#include "gui/qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>

namespace stampwise::gui {

QtTranslations::~QtTranslations() {
  if (translator_) QCoreApplication::removeTranslator(translator_.get());
}

void QtTranslations::Follow(bool english) {
  if (translator_) QCoreApplication::removeTranslator(translator_.get());
  translator_ = std::make_unique<QTranslator>();
  const QLocale locale(english ? QLocale::English : QLocale::German);
  // "qt" is the catalogue that gathers qtbase and the other modules' texts.
  if (!translator_->load(locale, QStringLiteral("qt"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    translator_.reset();
    return;
  }
  QCoreApplication::installTranslator(translator_.get());
}

}  // namespace stampwise::gui
