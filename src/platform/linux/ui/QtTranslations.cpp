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

std::string QtTranslations::translate(const Text& text) const {
    return QCoreApplication::translate(text.context, text.source).toStdString();
}

}  // namespace sayvo
