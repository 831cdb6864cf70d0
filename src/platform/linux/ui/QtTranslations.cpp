#include "platform/linux/ui/QtTranslations.h"

#include <QCoreApplication>

namespace sayvo {

QtTranslations::QtTranslations(UiLanguage language) {
    if (language == UiLanguage::english && translator_.load(QStringLiteral(":/i18n/sayvo_en.qm"))) {
        installed_ = QCoreApplication::installTranslator(&translator_);
    }
}

QtTranslations::~QtTranslations() {
    if (installed_) QCoreApplication::removeTranslator(&translator_);
}

std::string translated(const Text& text) {
    return QCoreApplication::translate(text.context, text.source).toStdString();
}

std::string QtTranslations::text(const Text& marked) const {
    return translated(marked);
}

}  // namespace sayvo
